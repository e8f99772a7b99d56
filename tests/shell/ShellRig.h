#pragma once

#include "platform/Folders.h"
#include "platform/InstanceLocks.h"
#include "platform/PasswordServices.h"
#include "registry/MemoryRegistry.h"
#include "shell/SaverApp.h"

#include "common/FakeClock.h"
#include "common/FakeDialogs.h"
#include "common/FakeProcessEnd.h"
#include "common/TestWorld.h"

#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace nimbuscope::test {

/// Accepts every password; remembers the password changes asked for.
class RecordingPasswords final : public PasswordServices {
public:
    bool changePassword(qint32 ownerHandle) override {
        changeCalls.push_back(ownerHandle);
        return false;
    }
    bool verifyPassword(qint32) override { return true; }

    std::vector<qint32> changeCalls;
};

/// A saver application over a private world, with fakes for every service the shell is given.
class ShellRig : public ::testing::Test {
protected:
    ShellServices services() {
        platform.temp = world.tmp();
        const auto folders =
            Folders::fromEnvironment(QProcessEnvironment::systemEnvironment(), world.root(), 1000);
        return {platform, clock, registry, locks, processEnd, dialogs, passwords, folders};
    }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    MemoryRegistry registry;
    FileInstanceLocks locks{world.runtimeDir()};
    FakeProcessEnd processEnd;
    FakeDialogs dialogs;
    RecordingPasswords passwords;
    SaverApp app{services()};
};

} // namespace nimbuscope::test
