#include "fake/GameFixture.h"

namespace vx::test {

void GameFixture::SetUp()
{
    bannerBusy = false;
    form = std::make_unique<frmClackon>(pf);
    pf.target = form.get();
}

void GameFixture::TearDown()
{
    form.reset();
    screenForm = nullptr;
    bannerBusy = false;
}

void GameFixture::load()
{
    form->Form_Load();
}

} // namespace vx::test
