#pragma once

#include <QObject>

class QSocketNotifier;

namespace velmio {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the event loop, so the
// program ends through its ordinary shut-down and keeps its settings.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace velmio
