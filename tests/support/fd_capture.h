#pragma once

#include <QByteArray>
#include <QTemporaryFile>
#include <cstdio>
#include <unistd.h>

namespace velmio::test {

// Holds on to whatever is written to a file descriptor (1 or 2) while it lives.
class FdCapture {
public:
    explicit FdCapture(int fd) : fd_(fd) {
        std::fflush(nullptr);
        saved_ = ::dup(fd_);
        if (file_.open()) ::dup2(file_.handle(), fd_);
    }
    ~FdCapture() { restore(); }
    FdCapture(const FdCapture&) = delete;
    FdCapture& operator=(const FdCapture&) = delete;

    // Stops capturing and gives what was written.
    QByteArray text() {
        restore();
        file_.seek(0);
        return file_.readAll();
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(nullptr);
        ::dup2(saved_, fd_);
        ::close(saved_);
        saved_ = -1;
    }
    int fd_;
    int saved_ = -1;
    QTemporaryFile file_;
};

}  // namespace velmio::test
