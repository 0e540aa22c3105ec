#pragma once
// Result codes shared by the engine, image and store code, their message
// texts, and the exception classes the component layer raises for them.
//
// Procedural code returns 0 or a negative code. Components call
// RaiseOrvError(code) for a negative result; the class thrown follows the code's
// group (EGeneral, EOpenComm, ESerialIO, EModem, ETrigger, EProtocol, EINI,
// EFax, ETapi), codes -2..-162 are file-system errors (EInOutError, with
// EOutOfMemory for -8), anything else is a plain EOrvException.
#include <QString>
#include <stdexcept>

namespace orv {

// ---- codes ------------------------------------------------------------------
enum : int {
    ecOK = 0,
    // file system (the operating system's error number, negated)
    ecFileNotFound = -2,
    ecPathNotFound = -3,
    ecTooManyFiles = -4,
    ecAccessDenied = -5,
    ecInvalidHandle = -6,
    ecOutOfMemory = -8,
    ecNoMoreFiles = -18,
    ecDiskRead = -100,
    ecDiskWrite = -101,
    ecDiskFull = -160,  // a short write
    ecDeviceReadFault = -161,  // data ended early
    // general
    ecBadHandle = -1001,
    ecBadArgument = -1002,
    ecGotQuitMsg = -1003,
    ecBufferTooBig = -1004,
    ecPortNotAssigned = -1005,
    ecInternal = -1006,
    ecModemNotAssigned = -1007,
    ecPhonebookNotAssigned = -1008,
    ecCannotUseWithWinSock = -1009,
    // port open
    ecBadId = -2001,
    ecBaudRate = -2002,
    ecByteSize = -2003,
    ecDefault = -2004,
    ecHardware = -2005,
    ecMemory = -2006,
    ecCommNotOpen = -2007,
    ecAlreadyOpen = -2008,
    ecNoHandles = -2009,
    ecNoTimers = -2010,
    ecNoPortSelected = -2011,
    ecPermissionDenied = -2012,  // the user may not open the device (not in the dialout group)
    // serial input and output
    ecNullApi = -3001,
    ecNotSupported = -3002,
    ecRegisterHandlerFailed = -3003,
    ecPutBlockFail = -3004,
    ecGetBlockFail = -3005,
    ecOutputBufferTooSmall = -3006,
    ecBufferIsEmpty = -3007,
    ecTracingNotEnabled = -3008,
    ecLoggingNotEnabled = -3009,
    // modem
    ecModemNotStarted = -4001,
    ecModemBusy = -4002,
    ecModemNotDialing = -4003,
    ecNotDialing = -4004,
    ecAlreadyDialing = -4005,
    ecModemNotResponding = -4006,
    ecModemRejectedCommand = -4007,
    ecModemStatusMismatch = -4008,
    // triggers
    ecNoMoreTriggers = -5001,
    ecTriggerTooLong = -5002,
    ecBadTriggerHandle = -5003,
    // protocol
    ecCancelRequested = -6005,
    ecTimeout = -6006,
    ecNoFilename = -6010,
    ecFileRejected = -6011,
    // settings database
    ecKeyTooLong = -7001,
    ecDataTooLarge = -7002,
    ecIniWrite = -7004,
    ecIniRead = -7005,
    ecRecordExists = -7007,
    ecRecordNotFound = -7008,
    ecDatabaseFull = -7010,
    ecDatabaseEmpty = -7011,
    ecBadFieldList = -7013,
    ecBadFieldForIndex = -7014,
    // fax files and fax sessions
    ecFaxBadFormat = -8001,
    ecBadGraphicsFormat = -8002,
    ecConvertAbort = -8003,
    ecUnpackAbort = -8004,
    ecCantMakeBitmap = -8005,
    ecNoImageLoaded = -8050,
    ecNoImageBlockMarked = -8051,
    ecFontFileNotFound = -8052,
    ecPdfEncrypted = -8060,  // PDF input
    ecPdfDamaged = -8061,
    ecPdfNoPages = -8062,
    ecFaxBadMachine = -8070,
    ecFaxBadModemResult = -8071,
    ecFaxTrainError = -8072,
    ecFaxInitError = -8073,
    ecFaxBusy = -8074,
    ecFaxVoiceCall = -8075,
    ecFaxDataCall = -8076,
    ecFaxNoDialTone = -8077,
    ecFaxNoCarrier = -8078,
    ecFaxSessionError = -8079,
    ecFaxPageError = -8080,
    // record store (tables, memo files, indexes, expressions)
    ecDbNotATable = -10001,
    ecDbDamagedTable = -10002,
    ecDbDamagedMemo = -10003,
    ecDbDamagedIndex = -10004,
    ecDbBadExpression = -10005,
    ecDbInvalidFieldType = -10006,
    ecDbTableInUse = -10007,
    ecDbRecordLocked = -10008,
    ecDbNoSuchField = -10009,
    ecDbNoSuchTag = -10010,
    ecDbReadOnly = -10011,
    ecDbNoRecord = -10012,
    ecDbValueDoesNotFit = -10013,
    ecDbBadDefinition = -10014,
    ecDbNoWorkArea = -10015,
    ecDbNotEditing = -10016,
};

// The string-table id of a code: |code| for 13800..13900, 11800 + |code| for
// 100..199, otherwise (|code| mod 1000) + (|code| div 1000) * 100 + 11000.
int ErrorStringId(int code);

// The message text of a code (at most 80 characters); "OK" for 0, empty when
// the string table has no text for it.
QString ErrorMessage(int code);

// The text of a fax session status code (1..7, 20..28, 40..43; string id
// 13000 + code); empty for any other code.
QString FaxStatusText(int status);

// ---- exceptions ---------------------------------------------------------------
class EOrvException : public std::runtime_error {
public:
    EOrvException(int code, const QString& message);
    int code() const { return code_; }
    QString message() const { return QString::fromStdString(what()); }

private:
    int code_;
};

#define ORV_EXCEPTION_CLASS(Name, Parent) \
    class Name : public Parent {          \
    public:                               \
        using Parent::Parent;             \
    };

// File-system errors carry the operating system's error number in errorCode().
class EInOutError : public EOrvException {
public:
    EInOutError(int code, const QString& message) : EOrvException(code, message) {}
    int errorCode() const { return -code(); }
};
ORV_EXCEPTION_CLASS(EOutOfMemory, EOrvException)

ORV_EXCEPTION_CLASS(EGeneral, EOrvException)
ORV_EXCEPTION_CLASS(EBadHandle, EGeneral)
ORV_EXCEPTION_CLASS(EBadArgument, EGeneral)
ORV_EXCEPTION_CLASS(EGotQuitMsg, EGeneral)
ORV_EXCEPTION_CLASS(EBufferTooBig, EGeneral)
ORV_EXCEPTION_CLASS(EPortNotAssigned, EGeneral)
ORV_EXCEPTION_CLASS(EInternal, EGeneral)
ORV_EXCEPTION_CLASS(EModemNotAssigned, EGeneral)
ORV_EXCEPTION_CLASS(EPhonebookNotAssigned, EGeneral)
ORV_EXCEPTION_CLASS(ECannotUseWithWinSock, EGeneral)

ORV_EXCEPTION_CLASS(EOpenComm, EOrvException)
ORV_EXCEPTION_CLASS(EBadId, EOpenComm)
ORV_EXCEPTION_CLASS(EBaudRate, EOpenComm)
ORV_EXCEPTION_CLASS(EByteSize, EOpenComm)
ORV_EXCEPTION_CLASS(EDefault, EOpenComm)
ORV_EXCEPTION_CLASS(EHardware, EOpenComm)
ORV_EXCEPTION_CLASS(EMemory, EOpenComm)
ORV_EXCEPTION_CLASS(ECommNotOpen, EOpenComm)
ORV_EXCEPTION_CLASS(EAlreadyOpen, EOpenComm)
ORV_EXCEPTION_CLASS(ENoHandles, EOpenComm)
ORV_EXCEPTION_CLASS(ENoTimers, EOpenComm)
ORV_EXCEPTION_CLASS(ENoPortSelected, EOpenComm)
ORV_EXCEPTION_CLASS(EPermissionDenied, EOpenComm)

ORV_EXCEPTION_CLASS(ESerialIO, EOrvException)
ORV_EXCEPTION_CLASS(ENullApi, ESerialIO)
ORV_EXCEPTION_CLASS(ENotSupported, ESerialIO)
ORV_EXCEPTION_CLASS(ERegisterHandlerFailed, ESerialIO)
ORV_EXCEPTION_CLASS(EPutBlockFail, ESerialIO)
ORV_EXCEPTION_CLASS(EGetBlockFail, ESerialIO)
ORV_EXCEPTION_CLASS(EOutputBufferTooSmall, ESerialIO)
ORV_EXCEPTION_CLASS(EBufferIsEmpty, ESerialIO)
ORV_EXCEPTION_CLASS(ETracingNotEnabled, ESerialIO)
ORV_EXCEPTION_CLASS(ELoggingNotEnabled, ESerialIO)

ORV_EXCEPTION_CLASS(EModem, EOrvException)
ORV_EXCEPTION_CLASS(EModemNotStarted, EModem)
ORV_EXCEPTION_CLASS(EModemBusy, EModem)
ORV_EXCEPTION_CLASS(EModemNotDialing, EModem)
ORV_EXCEPTION_CLASS(ENotDialing, EModem)
ORV_EXCEPTION_CLASS(EAlreadyDialing, EModem)
ORV_EXCEPTION_CLASS(EModemNotResponding, EModem)
ORV_EXCEPTION_CLASS(EModemRejectedCommand, EModem)
ORV_EXCEPTION_CLASS(EModemStatusMismatch, EModem)

ORV_EXCEPTION_CLASS(ETrigger, EOrvException)
ORV_EXCEPTION_CLASS(ENoMoreTriggers, ETrigger)
ORV_EXCEPTION_CLASS(ETriggerTooLong, ETrigger)
ORV_EXCEPTION_CLASS(EBadTriggerHandle, ETrigger)

ORV_EXCEPTION_CLASS(EProtocol, EOrvException)

ORV_EXCEPTION_CLASS(EINI, EOrvException)
ORV_EXCEPTION_CLASS(EKeyTooLong, EINI)
ORV_EXCEPTION_CLASS(EDataTooLarge, EINI)
ORV_EXCEPTION_CLASS(EIniWrite, EINI)
ORV_EXCEPTION_CLASS(EIniRead, EINI)
ORV_EXCEPTION_CLASS(ERecordExists, EINI)
ORV_EXCEPTION_CLASS(ERecordNotFound, EINI)
ORV_EXCEPTION_CLASS(EDatabaseFull, EINI)
ORV_EXCEPTION_CLASS(EDatabaseEmpty, EINI)
ORV_EXCEPTION_CLASS(EBadFieldList, EINI)
ORV_EXCEPTION_CLASS(EBadFieldForIndex, EINI)

ORV_EXCEPTION_CLASS(EFax, EOrvException)
ORV_EXCEPTION_CLASS(EFaxBadFormat, EFax)
ORV_EXCEPTION_CLASS(EBadGraphicsFormat, EFax)
ORV_EXCEPTION_CLASS(EConvertAbort, EFax)
ORV_EXCEPTION_CLASS(EUnpackAbort, EFax)
ORV_EXCEPTION_CLASS(ECantMakeBitmap, EFax)
ORV_EXCEPTION_CLASS(EFaxBadMachine, EFax)
ORV_EXCEPTION_CLASS(EFaxBadModemResult, EFax)
ORV_EXCEPTION_CLASS(EFaxTrainError, EFax)
ORV_EXCEPTION_CLASS(EFaxInitError, EFax)
ORV_EXCEPTION_CLASS(EFaxBusy, EFax)
ORV_EXCEPTION_CLASS(EFaxVoiceCall, EFax)
ORV_EXCEPTION_CLASS(EFaxDataCall, EFax)
ORV_EXCEPTION_CLASS(EFaxNoDialTone, EFax)
ORV_EXCEPTION_CLASS(EFaxNoCarrier, EFax)
ORV_EXCEPTION_CLASS(EFaxSessionError, EFax)
ORV_EXCEPTION_CLASS(EFaxPageError, EFax)

// Record store errors -10001..-10099; the message names the file and the fault.
ORV_EXCEPTION_CLASS(EDatabase, EOrvException)

// Telephony codes -13801..-13933 share one class; the code tells them apart.
ORV_EXCEPTION_CLASS(ETapi, EOrvException)

#undef ORV_EXCEPTION_CLASS

// Throws the exception mapped to a negative code; does nothing for 0 or more.
void CheckOrvError(int code);
[[noreturn]] void RaiseOrvError(int code);

}  // namespace orv
