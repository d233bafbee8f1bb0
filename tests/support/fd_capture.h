#pragma once

#include <QTemporaryFile>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace velmio::test {

// What `body` writes to file descriptor fd (1 or 2). Nothing of QtTest's may
// be printed meanwhile: it would be swallowed.
inline QByteArray Captured(int fd, const std::function<void()>& body) {
    QTemporaryFile file;
    if (!file.open()) return "cannot capture";
    std::fflush(nullptr);
    const int saved = ::dup(fd);
    ::dup2(file.handle(), fd);
    body();
    std::fflush(nullptr);
    ::dup2(saved, fd);
    ::close(saved);
    file.seek(0);
    return file.readAll();
}

}  // namespace velmio::test
