#pragma once
// A pseudo-terminal for serial port tests: the port opens slavePath(), the test
// plays the modem on the master side.
#include <QByteArray>
#include <QString>
#include <functional>

namespace orv::test {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    QString slavePath() const { return slave_; }
    int masterFd() const { return master_; }
    // Writes all bytes to the master (the port receives them).
    void write(const QByteArray& bytes);
    // Reads exactly count bytes the port sent, waiting at most timeoutMs; fewer on time-out.
    QByteArray read(int count, int timeoutMs = 5000);
    // Closes the master: to the port, the other side hung up.
    void hangUp();

private:
    int master_ = -1;
    QString slave_;
};

// Runs Qt events (and sleeps briefly) until pred holds or timeoutMs pass.
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);

}  // namespace orv::test
