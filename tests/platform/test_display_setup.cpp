#include "platform/DisplaySetup.h"

#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <optional>

namespace vx {
namespace {

TEST(DisplaySetup, TurnsSharedMemoryOffUnlessTheUserChose)
{
    const struct {
        std::optional<QByteArray> before;
        QByteArray after;
    } cases[] = {
        {std::nullopt, "1"},
        {QByteArray("0"), "0"},
        {QByteArray(""), ""},
    };
    const QByteArray saved = qgetenv("QT_XCB_NO_MITSHM");
    const bool wasSet = qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.before ? c.before->constData() : "(unset)");
        if (c.before)
            qputenv("QT_XCB_NO_MITSHM", *c.before);
        else
            qunsetenv("QT_XCB_NO_MITSHM");
        prepareDisplayConnection();
        EXPECT_TRUE(qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"));
        EXPECT_EQ(qgetenv("QT_XCB_NO_MITSHM"), c.after);
    }
    if (wasSet)
        qputenv("QT_XCB_NO_MITSHM", saved);
    else
        qunsetenv("QT_XCB_NO_MITSHM");
}

} // namespace
} // namespace vx
