// Status records and the conversion of exceptions into them.

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "shared/status.h"
#include "shared/status_boundary.h"

namespace {

using namespace OviMath::Status;
using OviMath::Types::_OutStatus;

bool allZero(const char* bytes, std::size_t from = 0) {
    for (std::size_t i = from; i < messageSize; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

// Messages as the families fix theirs.
constexpr FixedMessage mathLibPointerIsNull = fixedMessage("MathLib pointer is null!");
constexpr FixedMessage countDataIsEmpty = fixedMessage("Count data is empty");
constexpr FixedMessage artifactMathPointerIsNull = fixedMessage("ArtifactMAthLib pointer is null!");

TEST(Status, SuccessHasCodeZeroAndAnAllZeroMessage) {
    const _OutStatus status = successStatus();
    EXPECT_TRUE(status.success);
    EXPECT_EQ(status.error_code, 0);
    EXPECT_TRUE(allZero(status.error_msg));
}

TEST(Status, RefusalCarriesTheFixedMessageNulPadded) {
    const _OutStatus status = refusalStatus(mathLibPointerIsNull);
    EXPECT_FALSE(status.success);
    EXPECT_EQ(status.error_code, 1);
    EXPECT_STREQ(status.error_msg, "MathLib pointer is null!");
    EXPECT_TRUE(allZero(status.error_msg, std::strlen("MathLib pointer is null!")));
}

TEST(Status, LongDescriptionsAreCutTo511Characters) {
    const std::string text(600, 'x');
    const _OutStatus status = failureStatus(codeStandardException, text);
    EXPECT_EQ(std::strlen(status.error_msg), 511u);
    EXPECT_EQ(status.error_msg[511], '\0');
    EXPECT_EQ(std::string(status.error_msg), text.substr(0, 511));
}

TEST(Status, FillCopiesAllBytesAndReturnsTheSuccessFlag) {
    _OutStatus source = failureStatus(codeStandardException, "broken");
    source.error_msg[300] = 'z'; // a byte past the text must be copied too
    _OutStatus target;
    std::memset(&target, 0x5a, sizeof(target));
    EXPECT_FALSE(fillOpStatusAndGetStatus(source, &target));
    EXPECT_FALSE(target.success);
    EXPECT_EQ(target.error_code, codeStandardException);
    EXPECT_EQ(std::memcmp(target.error_msg, source.error_msg, messageSize), 0);

    EXPECT_TRUE(fillOpStatusAndGetStatus(successStatus(), &target));
    EXPECT_EQ(target.error_code, 0);
    EXPECT_TRUE(allZero(target.error_msg)); // no stale message survives

    // Without a record to fill, the outcome still comes back as the result.
    EXPECT_FALSE(fillOpStatusAndGetStatus(source, nullptr));
    EXPECT_TRUE(fillOpStatusAndGetStatus(successStatus(), nullptr));
}

TEST(StatusBoundary, TurnsEveryKindOfFailureIntoAStatus) {
    EXPECT_TRUE(convertExceptions(ThrownStatus::Copy, [] {}).success);

    const _OutStatus refused = convertExceptions(ThrownStatus::Copy, [] { refuse(countDataIsEmpty); });
    EXPECT_EQ(refused.error_code, 1);
    EXPECT_STREQ(refused.error_msg, "Count data is empty");

    const _OutStatus standard =
        convertExceptions(ThrownStatus::Copy, [] { throw std::out_of_range("position 7 is past the end"); });
    EXPECT_FALSE(standard.success);
    EXPECT_EQ(standard.error_code, 1002);
    EXPECT_STREQ(standard.error_msg, "position 7 is past the end");

    const _OutStatus other = convertExceptions(ThrownStatus::Copy, [] { throw 42; });
    EXPECT_EQ(other.error_code, 1003);
    EXPECT_STREQ(other.error_msg, "Invalid error!");
}

TEST(StatusBoundary, AThrownStatusIsCopiedOrReportedAsUnknown) {
    const _OutStatus detectorFailure = refusalStatus(artifactMathPointerIsNull);
    const _OutStatus copied = convertExceptions(ThrownStatus::Copy, [&] { throw detectorFailure; });
    EXPECT_EQ(copied.error_code, 1);
    EXPECT_EQ(std::memcmp(copied.error_msg, detectorFailure.error_msg, messageSize), 0);

    const _OutStatus unknown = convertExceptions(ThrownStatus::AsOtherException, [&] { throw detectorFailure; });
    EXPECT_EQ(unknown.error_code, 1003);
    EXPECT_STREQ(unknown.error_msg, "Invalid error!");
}

} // namespace
