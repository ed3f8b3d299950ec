#include "fake/GameFixture.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QWindow>

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

void GameFixture::showSettings()
{
    form->show();
    form->frSetting->show();
    form->cmdStart->show();
    form->activateWindow();
    for (int i = 0; i < 50 && !(form->windowHandle() && form->windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace vx::test
