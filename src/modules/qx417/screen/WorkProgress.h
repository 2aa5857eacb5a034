#pragma once

#include <QElapsedTimer>
#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

namespace qx417 {

// Shows that long work is going on: a window-modal progress window that appears once the
// work has taken half a second, counts what is done (of the total, when it is known) and
// keeps the window painting without taking the clerk's input. Only in the shell: the
// script runner and tests have nobody to show it to.
class WorkProgress
{
public:
    // `label` takes the count done as %1 and, with a total, the total as %2.
    WorkProgress(QWidget *owner, QString label, int total = 0);
    ~WorkProgress();
    void step(int done);

private:
    QWidget *m_owner;
    QString m_label;
    int m_total;
    bool m_enabled;
    QElapsedTimer m_started;
    qint64 m_lastPaint = 0;
    std::unique_ptr<QProgressDialog> m_dialog;
};

} // namespace qx417
