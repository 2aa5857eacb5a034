#include "qx417/screen/WorkProgress.h"

#include "platform/services/Platform.h"

#include <QApplication>
#include <QProgressDialog>

namespace qx417 {

namespace {

constexpr qint64 kShowAfterMs = 500;
constexpr qint64 kRepaintEveryMs = 100;

} // namespace

WorkProgress::WorkProgress(QWidget *owner, QString label, int total)
    : m_owner(owner), m_label(std::move(label)), m_total(total),
      m_enabled(zentaro::Platform::isInstalled() && zentaro::Platform::instance().interactive())
{
    m_started.start();
}

WorkProgress::~WorkProgress() = default;

void WorkProgress::step(int done)
{
    if (!m_enabled)
        return;
    const qint64 elapsed = m_started.elapsed();
    if (elapsed < kShowAfterMs || elapsed - m_lastPaint < kRepaintEveryMs)
        return;
    m_lastPaint = elapsed;
    if (!m_dialog) {
        m_dialog = std::make_unique<QProgressDialog>(QString(), QString(), 0, m_total, m_owner);
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
    }
    m_dialog->setLabelText(m_total > 0 ? m_label.arg(done).arg(m_total) : m_label.arg(done));
    if (m_total > 0)
        m_dialog->setValue(std::min(done, m_total));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace qx417
