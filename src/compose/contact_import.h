#pragma once
// Importing contacts kept in another address book into the phone book
// (ORVPB.DBF): a vCard file (2.1, 3.0 or 4.0: FN, or N or ORG when there is no
// FN, and the TEL marked fax, or the first TEL when none is) or a CSV file
// with a header row (name and fax columns found by their headers, case
// ignored). The file is read and understood whole before anything is
// written, so a file that cannot be parsed at all leaves the table as it was.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace orv {

struct ImportedContact {
    QString name;
    QString number;
    int line = 0;   // where the contact starts in the file (from 1)
    int index = 0;  // its place among the file's contacts (from 1)
};

struct SkippedContact {
    int index = 0;  // the contact's place in the file (from 1)
    int line = 0;
    QString name;   // what is known of it; may be empty
    QString reason;
};

struct ContactFile {
    bool ok = false;
    QString error;   // why the file could not be parsed (ok false)
    QString format;  // "vCard" or "CSV"
    QList<ImportedContact> contacts;
    QList<SkippedContact> skipped;
    QStringList notes;  // remarks on the file as a whole (a fallback column, say)
};

// Reads the bytes of a contacts file; the format is told by its content.
ContactFile ParseContacts(const QByteArray& data);
ContactFile ParseVCards(const QByteArray& data);
ContactFile ParseContactsCsv(const QByteArray& data);

struct PhoneBookImport {
    bool ok = false;
    QString error;
    QString format;
    int added = 0;
    // One line per contact skipped (with the reason) or shortened, and the file's notes.
    QStringList report;
};

// Appends the contacts of contactsPath to the phone-book table at dbfPath
// (created when it is missing and named ORVPB.DBF). Names and numbers are cut
// to the field widths (35 and 25 characters); a contact whose name and number
// are already in the phone book is skipped. Never throws.
PhoneBookImport ImportPhoneBook(const QString& dbfPath, const QString& contactsPath);

}  // namespace orv
