#include "engine/scripted_modem.h"

#include <QElapsedTimer>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace orv::test {

namespace {
constexpr int kStepTimeoutMs = 15000;
constexpr char kDle = 0x10, kEtx = 0x03;
}  // namespace

ScriptedModem::ScriptedModem() = default;

ScriptedModem::~ScriptedModem() {
    stop_ = true;
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

ScriptedModem& ScriptedModem::expect(const QByteArray& command, const QByteArray& reply) {
    steps_.push_back({Step::Expect, command, reply});
    return *this;
}

ScriptedModem& ScriptedModem::data(const QByteArray& reply) {
    steps_.push_back({Step::Data, {}, reply});
    return *this;
}

ScriptedModem& ScriptedModem::say(const QByteArray& bytes) {
    steps_.push_back({Step::Say, bytes, {}});
    return *this;
}

ScriptedModem& ScriptedModem::waitByte(char byte) {
    steps_.push_back({Step::WaitByte, QByteArray(1, byte), {}});
    return *this;
}

ScriptedModem& ScriptedModem::gate(int id) {
    steps_.push_back({Step::Gate, {}, {}, id});
    return *this;
}

ScriptedModem& ScriptedModem::vanish() {
    steps_.push_back({Step::Vanish, {}, {}});
    return *this;
}

void ScriptedModem::start() { thread_ = std::thread([this] { run(); }); }

void ScriptedModem::release(int id) {
    std::lock_guard lock(mutex_);
    released_ << id;
    cv_.notify_all();
}

bool ScriptedModem::atGate(int id) const {
    std::lock_guard lock(mutex_);
    return atGate_ == id;
}

bool ScriptedModem::waitDone(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done_; });
}

QList<QByteArray> ScriptedModem::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

QList<QByteArray> ScriptedModem::pages() const {
    std::lock_guard lock(mutex_);
    return pages_;
}

QList<QByteArray> ScriptedModem::rawPages() const {
    std::lock_guard lock(mutex_);
    return rawPages_;
}

QByteArray ScriptedModem::pageEnds() const {
    std::lock_guard lock(mutex_);
    return pageEnds_;
}

QString ScriptedModem::mismatch() const {
    std::lock_guard lock(mutex_);
    return mismatch_;
}

void ScriptedModem::fail(const QString& why) {
    std::lock_guard lock(mutex_);
    if (mismatch_.isEmpty()) mismatch_ = why;
}

void ScriptedModem::send(const QByteArray& bytes) {
    if (pty_.masterFd() >= 0 && !bytes.isEmpty()) pty_.write(bytes);
}

bool ScriptedModem::fill(int timeoutMs) {
    if (pty_.masterFd() < 0) return false;
    pollfd pfd{pty_.masterFd(), POLLIN, 0};
    ::poll(&pfd, 1, timeoutMs);
    char buf[4096];
    bool got = false;
    for (;;) {
        const ssize_t n = ::read(pty_.masterFd(), buf, sizeof buf);
        if (n <= 0) break;
        inbox_.append(buf, n);
        got = true;
    }
    return got;
}

bool ScriptedModem::nextCommand(QByteArray* cmd) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        // Control bytes outside a command (DC2, XON) are noted, not part of it.
        for (qsizetype i = 0; i < inbox_.size();) {
            const char c = inbox_[i];
            if (uint8_t(c) < 32 && c != '\r') {
                controls_.append(c);
                inbox_.remove(i, 1);
            } else {
                ++i;
            }
        }
        // An escape is a command of its own, with or without a CR after it.
        qsizetype first = 0;
        while (first < inbox_.size() && (inbox_[first] == '\r' || inbox_[first] == ' ')) ++first;
        if (inbox_.mid(first, 3) == "+++") {
            inbox_.remove(0, first + 3);
            std::lock_guard lock(mutex_);
            commands_ << "+++";
            *cmd = "+++";
            return true;
        }
        const qsizetype cr = inbox_.indexOf('\r');
        if (cr >= 0) {
            QByteArray line = inbox_.left(cr).trimmed();
            inbox_.remove(0, cr + 1);
            if (line.isEmpty()) continue;
            std::lock_guard lock(mutex_);
            commands_ << line;
            *cmd = line;
            return true;
        }
        if (stop_ || timer.elapsed() > kStepTimeoutMs) return false;
        fill(20);
    }
}

bool ScriptedModem::nextPage(QByteArray* raw, QByteArray* page, char* end) {
    QElapsedTimer timer;
    timer.start();
    qsizetype i = 0;
    for (;;) {
        while (i < inbox_.size()) {
            const char c = inbox_[i];
            if (c != kDle) {
                page->append(c);
                ++i;
                continue;
            }
            if (i + 1 >= inbox_.size()) break;  // the byte after the DLE has not come yet
            const char next = inbox_[i + 1];
            i += 2;
            if (next == kDle) {
                page->append(kDle);
            } else if (next == kEtx || next == ',' || next == '.' || next == ';') {
                *raw = inbox_.left(i);
                *end = next;
                inbox_.remove(0, i);
                return true;
            }
        }
        if (stop_ || timer.elapsed() > kStepTimeoutMs) return false;
        fill(20);
    }
}

void ScriptedModem::run() {
    for (const Step& step : steps_) {
        if (stop_ || !mismatch().isEmpty()) break;
        switch (step.kind) {
        case Step::Expect: {
            QByteArray cmd;
            if (!nextCommand(&cmd)) {
                fail("no command, expected " + QString::fromLatin1(step.text));
                break;
            }
            if (!cmd.startsWith(step.text)) {
                fail("got " + QString::fromLatin1(cmd) + ", expected " + QString::fromLatin1(step.text));
                break;
            }
            send(step.reply);
            break;
        }
        case Step::Data: {
            QByteArray raw, page;
            char end = 0;
            if (!nextPage(&raw, &page, &end)) {
                fail(QStringLiteral("page data did not end"));
                break;
            }
            {
                std::lock_guard lock(mutex_);
                rawPages_ << raw;
                pages_ << page;
                pageEnds_.append(end);
            }
            send(step.reply);
            break;
        }
        case Step::Say: send(step.text); break;
        case Step::WaitByte: {
            QElapsedTimer timer;
            timer.start();
            for (;;) {
                // Collect control bytes without taking a command.
                for (qsizetype i = 0; i < inbox_.size();) {
                    if (uint8_t(inbox_[i]) < 32 && inbox_[i] != '\r') {
                        controls_.append(inbox_[i]);
                        inbox_.remove(i, 1);
                    } else {
                        ++i;
                    }
                }
                const qsizetype at = controls_.indexOf(step.text[0]);
                if (at >= 0) {
                    controls_.remove(0, at + 1);
                    break;
                }
                if (stop_ || timer.elapsed() > kStepTimeoutMs) {
                    fail(QStringLiteral("control byte %1 did not come").arg(uint8_t(step.text[0])));
                    break;
                }
                fill(20);
            }
            break;
        }
        case Step::Gate: {
            std::unique_lock lock(mutex_);
            atGate_ = step.id;
            cv_.wait(lock, [&] { return stop_ || released_.contains(step.id); });
            atGate_ = 0;
            break;
        }
        case Step::Vanish: pty_.hangUp(); break;
        }
    }
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    cv_.notify_all();
    // After the script: whatever comes is answered "OK".
    while (!stop_ && pty_.masterFd() >= 0) {
        QByteArray cmd;
        if (nextCommand(&cmd)) send("\r\nOK\r\n");
    }
}

}  // namespace orv::test
