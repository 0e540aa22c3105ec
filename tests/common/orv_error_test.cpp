#include <gtest/gtest.h>

#include "common/orv_error.h"

using namespace orv;

TEST(OrvError, MessageIdsFollowTheStringTableRule) {
    EXPECT_EQ(ErrorStringId(-2008), 11208);
    EXPECT_EQ(ErrorStringId(-8074), 11874);
    EXPECT_EQ(ErrorStringId(-2), 11002);
    EXPECT_EQ(ErrorStringId(-160), 11960);
    EXPECT_EQ(ErrorStringId(-13850), 13850);
    EXPECT_EQ(ErrorMessage(0), "OK");
    EXPECT_EQ(ErrorMessage(-2008), "ie_Open - device already open");
    EXPECT_EQ(ErrorMessage(-8074), "Called fax number was busy");
    EXPECT_EQ(ErrorMessage(-6005), "Cancel requested");
    EXPECT_EQ(ErrorMessage(-2), "File not found");
    EXPECT_EQ(ErrorMessage(-8052), "");  // no text
}

template <class E>
void expectRaises(int code, const char* message) {
    try {
        RaiseOrvError(code);
        ADD_FAILURE() << code << " raised nothing";
    } catch (const E& e) {
        EXPECT_EQ(e.code(), code);
        EXPECT_EQ(e.message(), message) << code;
    } catch (...) {
        ADD_FAILURE() << code << " raised the wrong class";
    }
}

TEST(OrvError, CodesRaiseTheirClasses) {
    expectRaises<EBadArgument>(-1002, "Bad argument passed to function");
    expectRaises<EInternal>(-7003, "");
    expectRaises<EAlreadyOpen>(-2008, "ie_Open - device already open");
    expectRaises<EOpenComm>(-2009, "No more handles, can't open port");
    expectRaises<EPermissionDenied>(-2012, "Permission denied - add your user to the dialout group to use this port");
    expectRaises<EOutputBufferTooSmall>(-3006, "Output buffer too small for block");
    expectRaises<EFaxBusy>(-8074, "Called fax number was busy");
    expectRaises<EFax>(-8001, "File is not an APF file");
    expectRaises<EProtocol>(-6006, "Fatal time out");
    expectRaises<EOutOfMemory>(-8, "Insufficient memory");
    expectRaises<EOrvException>(-6005, "Orvane exception");
    expectRaises<EOrvException>(-8052, "Orvane exception");
    try {
        RaiseOrvError(-5);
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.errorCode(), 5);
        EXPECT_EQ(e.message(), "File access denied");
    }
    EXPECT_NO_THROW(CheckOrvError(0));
    EXPECT_NO_THROW(CheckOrvError(3));
    EXPECT_THROW(CheckOrvError(-2001), EBadId);
}
