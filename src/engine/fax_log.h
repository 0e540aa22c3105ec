#pragma once
// TOrvFaxLog: the fax history file. Each log code of its fax component adds
// one record, for example
//
//   Transmit /home/me/letter.apf to 5551234 started at 12/9/26 3:14:05 PM
//   Transmit failed at 12/9/26 3:15:40 PM
//     (Called fax number was busy) 0
//   <empty line>
//
// Lines end in CR LF, as the file always had them. A record is written whole
// with one write to a file opened for appending (created when missing), so a
// crash never leaves half a record and two writers never interleave theirs.
#include "engine/fax_types.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

namespace orv {

class TOrvCustomAbstractFax;

// The date and time of a record: the short date, a blank, the long time (of
// the given locale; without a time zone).
QString FaxHistoryDateTime(const QDateTime& when, const QLocale& locale);

// The record for a log code, line ends included; empty when the code is not
// one the component's kind writes (1..3 for a send component, 4..7 for a
// receive component).
QByteArray FaxHistoryRecord(const TOrvCustomAbstractFax& fax, int logCode, const QString& dateTime);

// Appends bytes with one write, creating the file when missing. 0 or a file error code.
int AppendFaxHistory(const QString& path, const QByteArray& record);

class TOrvFaxLog : public QObject {
    Q_OBJECT
public:
    // Placed on an owner whose fax component has no log yet: it becomes that log.
    explicit TOrvFaxLog(QObject* owner = nullptr);

    // The history file; empty writes nothing. A relative name is taken from
    // the current folder.
    QString FaxHistoryName() const { return historyName_; }
    void SetFaxHistoryName(const QString& v) { historyName_ = v; }
    TOrvCustomAbstractFax* Fax() const;
    void SetFax(TOrvCustomAbstractFax* fax);

    // Writes the record of a log code. A file that cannot be written raises
    // EInOutError (a missing file is created, not an error).
    virtual void UpdateLog(TFaxLogCode LogCode);

private:
    QString historyName_ = QStringLiteral("ORVFAX.HIS");
    QPointer<QObject> fax_;  // a TOrvCustomAbstractFax
};

}  // namespace orv
