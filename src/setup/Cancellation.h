#pragma once

#include <QObject>

// Lets a window stop the download its model is waiting for. Main thread only.
class Cancellation : public QObject
{
    Q_OBJECT

public:
    bool isCancelled() const { return m_cancelled; }
    void cancel()
    {
        if (m_cancelled)
            return;
        m_cancelled = true;
        Q_EMIT cancelled();
    }

Q_SIGNALS:
    void cancelled();

private:
    bool m_cancelled = false;
};
