// Linked into every shell test: what the viewer remembers goes to a file of
// the test run's own, never to the user's config folder.
#include "shell/user_settings.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SettingsInATemporaryFolder : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        viewer::setSettingsFile(dir_.filePath(QStringLiteral("settings.ini")));
    }
    void TearDown() override { viewer::setSettingsFile(QString()); }

private:
    QTemporaryDir dir_;
};

const auto* const kRegistered = ::testing::AddGlobalTestEnvironment(new SettingsInATemporaryFolder);

}  // namespace
