#include "richtext/rtf_test_util.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace orv::test {

QStringList paragraphs(const QTextDocument* doc) {
    QStringList out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        QString t = b.text();
        t.replace(QChar(QChar::ObjectReplacementCharacter), QChar(u'#'));
        out << t;
    }
    return out;
}

QTextCharFormat formatAt(const QTextDocument* doc, int pos) {
    QTextCursor c(const_cast<QTextDocument*>(doc));
    c.setPosition(pos + 1);
    return c.charFormat();
}

int find(const QTextDocument* doc, const QString& text) {
    const QTextCursor c = doc->find(text);
    return c.isNull() ? -1 : c.selectionStart();
}

bool havePandoc() { return !QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty(); }

QByteArray runPandoc(const QStringList& args, const QByteArray& input) {
    QProcess p;
    p.start(QStringLiteral("pandoc"), args);
    if (!p.waitForStarted(10000)) return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
    return p.readAllStandardOutput();
}

bool haveLibreOffice() { return !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty(); }

bool libreOfficeConvert(const QStringList& files, const QString& format, const QString& outDir) {
    // A profile of its own, so parallel runs and the user's settings stay apart.
    QTemporaryDir profile;
    QProcess p;
    QStringList args{QStringLiteral("-env:UserInstallation=file://") + profile.path(), QStringLiteral("--headless"),
                     QStringLiteral("--norestore"), QStringLiteral("--convert-to"), format,
                     QStringLiteral("--outdir"), outDir};
    args += files;
    p.start(QStringLiteral("soffice"), args);
    if (!p.waitForStarted(10000)) return false;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    return p.exitCode() == 0;
}

}  // namespace orv::test
