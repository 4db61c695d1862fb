#include "platform/serial_errors_posix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

using namespace velmora;

namespace {

struct ErrnoCase {
    const char* name;
    int err;
    PosixSerialStep step;
    SerialStatus expected;
};

class ErrnoTranslation : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoTranslation, OneMeaningPerStep) {
    const auto& c = GetParam();
    EXPECT_EQ(serialStatusFromErrno(c.err, c.step), c.expected)
        << "got " << serialStatusText(serialStatusFromErrno(c.err, c.step)) << ", want "
        << serialStatusText(c.expected);
}

using S = SerialStatus;
using Step = PosixSerialStep;

INSTANTIATE_TEST_SUITE_P(
    Table, ErrnoTranslation,
    ::testing::Values(
        ErrnoCase{"OpenNoSuchFile", ENOENT, Step::open, S::notFound},
        ErrnoCase{"OpenNoDriver", ENODEV, Step::open, S::notFound},
        ErrnoCase{"OpenNoHardware", ENXIO, Step::open, S::notFound},
        ErrnoCase{"OpenPathThroughAFile", ENOTDIR, Step::open, S::notFound},
        ErrnoCase{"OpenNoPermission", EACCES, Step::open, S::accessDenied},
        ErrnoCase{"OpenNotPermitted", EPERM, Step::open, S::accessDenied},
        ErrnoCase{"OpenExclusiveElsewhere", EBUSY, Step::open, S::busy},
        ErrnoCase{"OpenIsADirectory", EISDIR, Step::open, S::failed},
        ErrnoCase{"OpenTooManyFiles", EMFILE, Step::open, S::failed},
        ErrnoCase{"LockHeldElsewhere", EWOULDBLOCK, Step::lock, S::busy},
        ErrnoCase{"LockAgain", EAGAIN, Step::lock, S::busy},
        ErrnoCase{"LockExclusiveElsewhere", EBUSY, Step::lock, S::busy},
        ErrnoCase{"LockNotPermitted", EPERM, Step::lock, S::accessDenied},
        ErrnoCase{"LockOutOfMemory", ENOLCK, Step::lock, S::failed},
        ErrnoCase{"IoHungUp", EIO, Step::io, S::deviceGone},
        ErrnoCase{"IoHardwareRemoved", ENXIO, Step::io, S::deviceGone},
        ErrnoCase{"IoNoDevice", ENODEV, Step::io, S::deviceGone},
        ErrnoCase{"IoDescriptorGone", EBADF, Step::io, S::deviceGone},
        ErrnoCase{"IoNothingYet", EAGAIN, Step::io, S::timeout},
        ErrnoCase{"IoTimedOut", ETIMEDOUT, Step::io, S::timeout},
        ErrnoCase{"IoBadArgument", EINVAL, Step::io, S::failed},
        ErrnoCase{"NoErrorAtOpen", 0, Step::open, S::ok},
        ErrnoCase{"NoErrorAtIo", 0, Step::io, S::ok}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
