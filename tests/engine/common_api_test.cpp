// The engine's C boundary: lock, null handle, refusals and exceptions, shown
// with a stand-in engine so the boundary is tested on its own.

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "engine/common_api.h"
#include "kalo_artifacts/detector.h"

namespace {

using namespace OviMath::MathLib::CBoundary;
using OviMath::Types::_OutStatus;
namespace Status = OviMath::Status;

struct FakeEngine {
    int calls = 0;
};

_OutStatus staleStatus() {
    _OutStatus status;
    std::memset(&status, 0x7f, sizeof(status));
    return status;
}

TEST(EngineBoundary, NullHandleIsRefusedBeforeAnyWork) {
    _OutStatus status = staleStatus();
    bool ran = false;
    FakeEngine* none = nullptr;
    EXPECT_FALSE(engineCall(none, &status, ThrownStatus::Copy, [&](FakeEngine&) { ran = true; }));
    EXPECT_FALSE(ran);
    EXPECT_FALSE(status.success);
    EXPECT_EQ(status.error_code, 1);
    char expected[512] = "MathLib pointer is null!";
    EXPECT_EQ(std::memcmp(status.error_msg, expected, sizeof(expected)), 0);
}

TEST(EngineBoundary, SuccessWritesTheWholeSuccessRecord) {
    FakeEngine engine;
    _OutStatus status = staleStatus();
    EXPECT_TRUE(engineCall(&engine, &status, ThrownStatus::Copy, [](FakeEngine& e) { ++e.calls; }));
    EXPECT_EQ(engine.calls, 1);
    EXPECT_TRUE(status.success);
    EXPECT_EQ(status.error_code, 0);
    const char zeros[512] = {};
    EXPECT_EQ(std::memcmp(status.error_msg, zeros, sizeof(zeros)), 0);
}

TEST(EngineBoundary, WorkRunsUnderTheGlobalLock) {
    FakeEngine engine;
    _OutStatus status;
    // std::mutex may only be probed from a thread that does not hold it.
    const auto lockIsFree = [] {
        bool free = false;
        std::thread([&] {
            free = g_lock.try_lock();
            if (free)
                g_lock.unlock();
        }).join();
        return free;
    };
    bool lockedDuringWork = false;
    engineCall(&engine, &status, ThrownStatus::Copy, [&](FakeEngine&) { lockedDuringWork = !lockIsFree(); });
    EXPECT_TRUE(lockedDuringWork);
    EXPECT_TRUE(lockIsFree()); // released afterwards, also after a failure
    engineCall(&engine, &status, ThrownStatus::Copy, [](FakeEngine&) { throw std::runtime_error("x"); });
    EXPECT_TRUE(lockIsFree());
}

TEST(EngineBoundary, RefusalsAndExceptionsBecomeStatuses) {
    FakeEngine engine;
    _OutStatus status;
    EXPECT_FALSE(engineCall(&engine, &status, ThrownStatus::Copy,
                            [](FakeEngine&) { Status::refuse(OviMath::MathLib::Messages::usePushData); }));
    EXPECT_EQ(status.error_code, 1);
    EXPECT_STREQ(status.error_msg, "Use PushData() for bipolar mode!");

    EXPECT_FALSE(engineCall(&engine, &status, ThrownStatus::Copy,
                            [](FakeEngine&) { throw std::runtime_error(std::string(600, 'e')); }));
    EXPECT_EQ(status.error_code, 1002);
    EXPECT_EQ(std::strlen(status.error_msg), 511u);

    EXPECT_FALSE(engineCall(&engine, &status, ThrownStatus::Copy, [](FakeEngine&) { throw 1.5; }));
    EXPECT_EQ(status.error_code, 1003);
    EXPECT_STREQ(status.error_msg, "Invalid error!");

    const _OutStatus detector = freeArtifactsMath(nullptr); // a detector's refusal
    EXPECT_FALSE(engineCall(&engine, &status, ThrownStatus::Copy, [&](FakeEngine&) { throw detector; }));
    EXPECT_STREQ(status.error_msg, "ArtifactMAthLib pointer is null!");
    EXPECT_FALSE(engineCall(&engine, &status, ThrownStatus::AsOtherException, [&](FakeEngine&) { throw detector; }));
    EXPECT_EQ(status.error_code, 1003);

    // A success after a failure leaves no trace of it.
    EXPECT_TRUE(engineCall(&engine, &status, ThrownStatus::Copy, [](FakeEngine&) {}));
    EXPECT_EQ(status.error_code, 0);
    EXPECT_EQ(status.error_msg[0], '\0');
}

// A lock whose acquisition fails, as a system mutex can.
struct FailingLock {
    void lock() { throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur)); }
    void unlock() {}
};

TEST(EngineBoundary, ALockThatCannotBeTakenIsReportedNotThrown) {
    FakeEngine engine;
    FailingLock lock;
    _OutStatus status;
    bool ran = false;
    EXPECT_FALSE(engineCall(&engine, &status, ThrownStatus::Copy, [&](FakeEngine&) { ran = true; }, lock));
    EXPECT_FALSE(ran);
    EXPECT_EQ(status.error_code, 1002);
    EXPECT_NE(std::string(status.error_msg).find(std::make_error_code(std::errc::resource_deadlock_would_occur).message()),
              std::string::npos);
}

} // namespace
