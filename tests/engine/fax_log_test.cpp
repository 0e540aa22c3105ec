// The fax history file: the record of every log code, the date and time,
// appending (and creating) the file, and a file that cannot be written.
#include <gtest/gtest.h>

#include "common/orv_error.h"
#include "engine/fax_components.h"
#include "engine/fax_log.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

using namespace orv;

namespace {

// Components whose read-only values a test sets, as a session's reports would.
template <class Base>
struct Reported : Base {
    Reported(const QByteArray& remote, int hangup, int error) {
        this->progress_.remoteId = remote;
        this->progress_.hangupCode = hangup;
        this->lastError_ = error;
    }
};

const QString kDt = QStringLiteral("12/9/26 3:14:05 PM");

TEST(FaxLog, EachLogCodeWritesItsRecord) {
    Reported<TOrvSendFax> send("REMOTE 1", 11, ecFaxBusy);
    send.SetFaxFile("/home/ann/letter.apf");
    send.SetPhoneNumber("5551234");
    EXPECT_EQ(FaxHistoryRecord(send, logSendBegin, kDt),
              "Transmit /home/ann/letter.apf to 5551234 started at 12/9/26 3:14:05 PM\r\n");
    EXPECT_EQ(FaxHistoryRecord(send, logSendOk, kDt),
              "Transmit to REMOTE 1 finished OK at 12/9/26 3:14:05 PM 11\r\n\r\n");
    EXPECT_EQ(FaxHistoryRecord(send, logSendFail, kDt),
              "Transmit failed at 12/9/26 3:14:05 PM\r\n  (Called fax number was busy) 11\r\n\r\n");
    for (int code : {int(logReceiveBegin), int(logReceiveOk), int(logReceiveSkip), int(logReceiveFail), 0, 8})
        EXPECT_EQ(FaxHistoryRecord(send, code, kDt), "") << code;

    Reported<TOrvReceiveFax> receive("FAR END", 0, ecFaxSessionError);
    receive.SetFaxFile("/var/fax/FAX0001.APF");
    EXPECT_EQ(FaxHistoryRecord(receive, logReceiveBegin, kDt),
              "Receive /var/fax/FAX0001.APF from FAR END started at 12/9/26 3:14:05 PM\r\n");
    EXPECT_EQ(FaxHistoryRecord(receive, logReceiveOk, kDt), "Receive finished OK at 12/9/26 3:14:05 PM\r\n\r\n");
    EXPECT_EQ(FaxHistoryRecord(receive, logReceiveSkip, kDt), "Receive skipped at 12/9/26 3:14:05 PM\r\n\r\n");
    EXPECT_EQ(FaxHistoryRecord(receive, logReceiveFail, kDt),
              "Receive failed at 12/9/26 3:14:05 PM\r\n  (" + ErrorMessage(ecFaxSessionError).toLatin1() + ")\r\n\r\n");
    for (TFaxLogCode code : {logSendBegin, logSendOk, logSendFail}) EXPECT_EQ(FaxHistoryRecord(receive, code, kDt), "");

    // Text outside ASCII is written in Windows-1252, as the file always was.
    receive.SetFaxFile(QStringLiteral(u"/var/fax/\u00e9t\u00e9.APF"));
    EXPECT_TRUE(FaxHistoryRecord(receive, logReceiveBegin, kDt).contains("\xE9t\xE9.APF"));
}

TEST(FaxLog, DateAndTimeFollowTheLocaleWithoutATimeZone) {
    const QDateTime when(QDate(2026, 12, 9), QTime(15, 14, 5));
    const QString us = FaxHistoryDateTime(when, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(us.startsWith("12/9/26 3:14:05") && us.endsWith("PM") && us.size() == 18) << us.toStdString();
    EXPECT_EQ(FaxHistoryDateTime(when, QLocale(QLocale::German, QLocale::Germany)), "09.12.26 15:14:05");
}

TEST(FaxLog, RecordsAreAppendedToAFileCreatedOnTheFirstAndAnUnwritableFileRaises) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ORVFAX.HIS");
    TOrvSendFax fax;
    TOrvFaxLog log;
    fax.SetFaxLog(&log);
    EXPECT_EQ(log.Fax(), &fax);
    log.SetFaxHistoryName(path);
    fax.SetFaxFile("a.apf");
    fax.SetPhoneNumber("1");
    log.UpdateLog(logSendBegin);
    log.UpdateLog(logSendFail);
    log.UpdateLog(logReceiveOk);  // not a send component's record: nothing
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.startsWith("Transmit a.apf to 1 started at ")) << text.toStdString();
    EXPECT_TRUE(text.contains("\r\nTransmit failed at "));
    EXPECT_TRUE(text.endsWith(") 0\r\n\r\n"));
    EXPECT_EQ(text.count("\r\n"), 4);

    EXPECT_EQ(AppendFaxHistory(path, "more\r\n"), 0);
    f.close();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), text + "more\r\n");

    log.SetFaxHistoryName(dir.filePath("no-such-folder/ORVFAX.HIS"));
    EXPECT_THROW(log.UpdateLog(logSendBegin), EInOutError);
    log.SetFaxHistoryName({});  // an empty name writes nothing
    EXPECT_NO_THROW(log.UpdateLog(logSendBegin));
}

}  // namespace
