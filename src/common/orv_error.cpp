#include "common/orv_error.h"

#include <cstdlib>
#include <unordered_map>

namespace orv {
namespace {

// The program's string table, by id.
const std::unordered_map<int, const char*>& stringTable() {
    static const std::unordered_map<int, const char*> table = {
        {11000, "OK"},
        // file system (the classic DOS and runtime error texts)
        {11002, "File not found"},
        {11003, "Path not found"},
        {11004, "Too many open files"},
        {11005, "File access denied"},
        {11006, "Invalid file handle"},
        {11008, "Insufficient memory"},
        {11012, "Invalid file access code"},
        {11015, "Invalid drive number"},
        {11016, "Cannot remove current directory"},
        {11017, "Cannot rename across drives"},
        {11018, "No more files"},
        {11900, "Disk read error"},
        {11901, "Disk write error"},
        {11902, "File not assigned"},
        {11903, "File not open"},
        {11904, "File not open for input"},
        {11905, "File not open for output"},
        {11950, "Disk is write-protected"},
        {11951, "Unknown unit"},
        {11952, "Drive not ready"},
        {11953, "Unknown command"},
        {11954, "CRC error in data"},
        {11955, "Bad drive request structure length"},
        {11956, "Disk seek error"},
        {11957, "Unknown media type"},
        {11958, "Sector not found"},
        {11959, "Printer out of paper"},
        {11960, "Device write fault"},
        {11961, "Device read fault"},
        {11962, "Hardware failure"},
        // general
        {11101, "Bad handle passed to com function"},
        {11102, "Bad argument passed to function"},
        {11103, "Got quit message"},
        {11104, "Buffer too big"},
        {11105, "ComPort component not assigned"},
        {11106, "Internal error"},
        {11107, "Modem component not assigned"},
        {11108, "Phonebook component not assigned"},
        // port open
        {11201, "ie_BadId - Specified comport doesn't exist"},
        {11202, "ie_Baudrate - Unsupported baud rate"},
        {11203, "ie_Bytesize - Invalid byte size"},
        {11204, "ie_Default - Error in default parameters"},
        {11205, "ie_Hardware - Specified comport in use"},
        {11206, "ie_Memory - unable to allocate queues"},
        {11207, "ie_NOpen - device not open"},
        {11208, "ie_Open - device already open"},
        {11209, "No more handles, can't open port"},
        {11210, "No timers available"},
        {11211, "The ComNumber property of the TOrvComPort has not been set"},
        {11212, "Permission denied - add your user to the dialout group to use this port"},
        // serial input and output
        {11301, "No device layer specified"},
        {11302, "Function not supported by driver"},
        {11303, "Failed to register handler"},
        {11304, "Failed to put entire block"},
        {11305, "Failed to get entire block"},
        {11306, "Output buffer too small for block"},
        {11307, "Buffer is empty"},
        {11308, "Tracing not enabled"},
        {11309, "Logging not enabled"},
        // triggers
        {11501, "No more trigger slots"},
        {11502, "Data trigger too long"},
        {11503, "Bad trigger handle"},
        // protocol
        {11605, "Cancel requested"},
        {11606, "Fatal time out"},
        {11610, "No filename specified in protocol receive"},
        {11611, "File was rejected"},
        // fax files and sessions
        {11801, "File is not an APF file"},
        {11802, "Unsupported graphics file format"},
        {11803, "User aborted fax conversion"},
        {11805, "CreateBitmapIndirect API failure"},
        {11850, "no image loaded into viewer"},
        {11851, "no block of image marked"},
        {11860, "PDF file is encrypted (it needs a password to open)"},
        {11861, "PDF file is damaged or is not a PDF file"},
        {11862, "PDF file has no pages"},
        {11870, "Fax incompatible with remote fax"},
        {11871, "Bad response from modem"},
        {11872, "Modems failed to train"},
        {11873, "Error while initializing modem"},
        {11874, "Called fax number was busy"},
        {11875, "Called fax number answered with voice"},
        {11876, "Incoming data call"},
        {11877, "No dial tone"},
        {11878, "Failed to connect to remote fax"},
        {11879, "Fax failed in mid-session"},
        {11880, "Fax failed at page end"},
        // record store
        {12001, "Not a FoxPro table"},
        {12002, "The table file is damaged"},
        {12003, "The memo file is damaged"},
        {12004, "The index file is damaged"},
        {12005, "Invalid expression"},
        {12006, "Invalid Field Type "},
        {12007, "The table is in use"},
        {12008, "The record is locked"},
        {12009, "Field not found"},
        {12010, "Index tag not found"},
        {12011, "The table is open read-only"},
        {12012, "No current record"},
        {12013, "The value does not fit the field"},
        {12014, "Invalid table definition"},
        {12015, "No table is open in this work area"},
        {12016, "The table is not being edited"},
        // fax session status (13000 + status code)
        {13001, "Initializing modem for fax processing"},
        {13002, "Dialing"},
        {13003, "Busy, waiting until redial..."},
        {13004, "Sending page data"},
        {13005, "Sending EOP"},
        {13006, "Error sending page"},
        {13007, "Page accepted by remote"},
        {13020, "Waiting for incoming call"},
        {13021, "No connect on this call"},
        {13022, "Answering incoming call"},
        {13023, "Incoming call validated as fax"},
        {13024, "Getting page data"},
        {13025, "Getting end-of-page signal"},
        {13026, "Getting end-of-document status"},
        {13027, "Getting hangup command"},
        {13028, "Got Class 2 FHNG code"},
        {13040, "Getting connection params"},
        {13041, "Got called-station ID"},
        {13042, "User abort"},
        {13043, "Finished"},
    };
    return table;
}

template <class E>
[[noreturn]] void raise(int code) {
    throw E(code, ErrorMessage(code));
}

}  // namespace

int ErrorStringId(int code) {
    const int a = std::abs(code);
    if (a > 13799 && a <= 13900) return a;
    if (a >= 100 && a <= 199) return 11800 + a;
    return (a % 1000) + (a / 1000) * 100 + 11000;
}

QString ErrorMessage(int code) {
    const auto& table = stringTable();
    const auto it = table.find(ErrorStringId(code));
    return it == table.end() ? QString() : QString::fromLatin1(it->second).left(80);
}

QString FaxStatusText(int status) {
    if (status < 1 || status > 43) return {};
    const auto& table = stringTable();
    const auto it = table.find(13000 + status);
    return it == table.end() ? QString() : QString::fromLatin1(it->second).left(80);
}

EOrvException::EOrvException(int code, const QString& message)
    : std::runtime_error(message.toStdString()), code_(code) {}

void CheckOrvError(int code) {
    if (code < 0) RaiseOrvError(code);
}

void RaiseOrvError(int code) {
    switch (code) {
    case ecBadHandle: raise<EBadHandle>(code);
    case ecBadArgument: raise<EBadArgument>(code);
    case ecGotQuitMsg: raise<EGotQuitMsg>(code);
    case ecBufferTooBig: raise<EBufferTooBig>(code);
    case ecPortNotAssigned: raise<EPortNotAssigned>(code);
    case ecInternal: case -7003: case -7006: case -7012: raise<EInternal>(code);
    case ecModemNotAssigned: raise<EModemNotAssigned>(code);
    case ecPhonebookNotAssigned: raise<EPhonebookNotAssigned>(code);
    case ecCannotUseWithWinSock: raise<ECannotUseWithWinSock>(code);
    case ecBadId: raise<EBadId>(code);
    case ecBaudRate: raise<EBaudRate>(code);
    case ecByteSize: raise<EByteSize>(code);
    case ecDefault: raise<EDefault>(code);
    case ecHardware: raise<EHardware>(code);
    case ecMemory: raise<EMemory>(code);
    case ecCommNotOpen: raise<ECommNotOpen>(code);
    case ecAlreadyOpen: raise<EAlreadyOpen>(code);
    case ecNoHandles: raise<ENoHandles>(code);
    case ecNoTimers: raise<ENoTimers>(code);
    case ecNoPortSelected: raise<ENoPortSelected>(code);
    case ecPermissionDenied: raise<EPermissionDenied>(code);
    case ecNullApi: raise<ENullApi>(code);
    case ecNotSupported: raise<ENotSupported>(code);
    case ecRegisterHandlerFailed: raise<ERegisterHandlerFailed>(code);
    case ecPutBlockFail: raise<EPutBlockFail>(code);
    case ecGetBlockFail: raise<EGetBlockFail>(code);
    case ecOutputBufferTooSmall: raise<EOutputBufferTooSmall>(code);
    case ecBufferIsEmpty: raise<EBufferIsEmpty>(code);
    case ecTracingNotEnabled: raise<ETracingNotEnabled>(code);
    case ecLoggingNotEnabled: raise<ELoggingNotEnabled>(code);
    case ecModemNotStarted: raise<EModemNotStarted>(code);
    case ecModemBusy: raise<EModemBusy>(code);
    case ecModemNotDialing: raise<EModemNotDialing>(code);
    case ecNotDialing: raise<ENotDialing>(code);
    case ecAlreadyDialing: raise<EAlreadyDialing>(code);
    case ecModemNotResponding: raise<EModemNotResponding>(code);
    case ecModemRejectedCommand: raise<EModemRejectedCommand>(code);
    case ecModemStatusMismatch: raise<EModemStatusMismatch>(code);
    case ecNoMoreTriggers: raise<ENoMoreTriggers>(code);
    case ecTriggerTooLong: raise<ETriggerTooLong>(code);
    case ecBadTriggerHandle: raise<EBadTriggerHandle>(code);
    case -6006: case -6008: case -6009: raise<EProtocol>(code);
    case ecKeyTooLong: raise<EKeyTooLong>(code);
    case ecDataTooLarge: raise<EDataTooLarge>(code);
    case ecIniWrite: raise<EIniWrite>(code);
    case ecIniRead: raise<EIniRead>(code);
    case ecRecordExists: raise<ERecordExists>(code);
    case ecRecordNotFound: raise<ERecordNotFound>(code);
    case ecDatabaseFull: raise<EDatabaseFull>(code);
    case ecDatabaseEmpty: raise<EDatabaseEmpty>(code);
    case ecBadFieldList: raise<EBadFieldList>(code);
    case ecBadFieldForIndex: raise<EBadFieldForIndex>(code);
    case ecFaxBadFormat: raise<EFaxBadFormat>(code);
    case ecBadGraphicsFormat: raise<EBadGraphicsFormat>(code);
    case ecConvertAbort: raise<EConvertAbort>(code);
    case ecUnpackAbort: raise<EUnpackAbort>(code);
    case ecCantMakeBitmap: raise<ECantMakeBitmap>(code);
    case ecFaxBadMachine: raise<EFaxBadMachine>(code);
    case ecFaxBadModemResult: raise<EFaxBadModemResult>(code);
    case ecFaxTrainError: raise<EFaxTrainError>(code);
    case ecFaxInitError: raise<EFaxInitError>(code);
    case ecFaxBusy: raise<EFaxBusy>(code);
    case ecFaxVoiceCall: raise<EFaxVoiceCall>(code);
    case ecFaxDataCall: raise<EFaxDataCall>(code);
    case ecFaxNoDialTone: raise<EFaxNoDialTone>(code);
    case ecFaxNoCarrier: raise<EFaxNoCarrier>(code);
    case ecFaxSessionError: raise<EFaxSessionError>(code);
    case ecFaxPageError: raise<EFaxPageError>(code);
    default: break;
    }
    if (code <= -13801 && code >= -13933) raise<ETapi>(code);
    if (code <= -10001 && code >= -10099) raise<EDatabase>(code);
    if (code == ecOutOfMemory) raise<EOutOfMemory>(code);
    if (code <= -2 && code >= -162) raise<EInOutError>(code);
    throw EOrvException(code, QStringLiteral("Orvane exception"));
}

}  // namespace orv
