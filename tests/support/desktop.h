#pragma once

#include <QProcessEnvironment>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace velmio::test {

// A window of an X display as its window manager keeps it.
struct XWindow {
    QString id;
    QRect rect;
    bool above = false;  // _NET_WM_STATE_ABOVE
    int stack = -1;      // place in _NET_CLIENT_LIST_STACKING, bottom first
};

// A desktop the real program runs on: a real compositor with XWayland
// ("gnome", "kwin") or a bare X server of two screens side by side
// ("screens"), started by scripts/compositor.
class Desktop {
public:
    explicit Desktop(const QString& kind);
    ~Desktop();
    bool started() const { return started_; }
    QString error() const { return error_; }
    const QString& kind() const { return kind_; }
    // The test environment with this desktop's display and session bus.
    QProcessEnvironment environment() const { return env_; }

    // Runs a tool on this desktop; its standard output.
    QString run(const QString& program, const QStringList& args, int timeoutMs = 10000) const;
    // The shown windows of an X class (by WM_CLASS), bottom first.
    QList<XWindow> windows(const QString& wmClass) const;
    // GNOME Shell only: runs JavaScript in the shell, its result.
    QString eval(const QString& script) const;
    // GNOME Shell only: a screenshot of the whole screen.
    bool screenshot(const QString& path) const;

private:
    QString kind_;
    QTemporaryDir dir_;
    QProcessEnvironment env_;
    bool started_ = false;
    QString error_;
};

}  // namespace velmio::test
