#pragma once
// A fresh program folder for one test: points ORVANE_HOME at a temporary
// directory for the fixture's lifetime and restores the previous value after.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace orv::test {

class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    // The folder, ending in "/", as ProgramFolder() reports it.
    QString path() const;
    // path() + name
    QString file(const QString& name) const;
    // Writes bytes to path() + name, creating the file.
    void write(const QString& name, const QByteArray& bytes) const;
    // Reads path() + name; empty when absent.
    QByteArray read(const QString& name) const;

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

}  // namespace orv::test
