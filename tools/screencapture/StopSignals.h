#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP as a Qt signal while an object of this class lives, so a wait on
// the desktop ends tidily when the app gives up on the capture, quits or dies (the tool asks
// the kernel for SIGTERM when its parent goes).
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

    bool received() const { return m_received; }

    // Asks for SIGTERM when the process that started the tool ends. False when it has already.
    static bool stopWithParent();

Q_SIGNALS:
    void stopped();

private:
    QSocketNotifier* m_notifier = nullptr;
    bool m_received = false;
};
