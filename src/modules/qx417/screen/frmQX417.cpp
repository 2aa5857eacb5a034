#include "qx417/screen/frmQX417.h"

#include "platform/controls/SimpleControls.h"
#include "platform/core/Error.h"
#include "platform/core/LateBinding.h"
#include "platform/services/Platform.h"
#include "qx417/module/Publico.h"

#include <QApplication>
#include <QKeyEvent>

namespace qx417 {

frmQX417::frmQX417(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmQX417"));
    setWindowTitle(QStringLiteral("Facturación global SAT"));
    createControls();
    connectEvents();
    // The window sees every key before its controls do, for the Alt+1..4 page shortcuts.
    qApp->installEventFilter(this);
}

frmQX417::~frmQX417()
{
    qApp->removeEventFilter(this);
}

QString frmQX417::Transaccion() const
{
    const QVariant hostTransaction = zentaro::latebound::get(m_padre, "Transaccion");
    return publico().Utilities->ResolveTransaction(hostTransaction.toString(), QStringLiteral("Zentaro"));
}

void frmQX417::activateScreen()
{
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    Form_Activate();
}

void frmQX417::showMessage(const QString &message, int style, const QString &title, const QString &errorId)
{
    publico().Environment->ShowMessage(message, style, title, this, QStringLiteral("QX417"), errorId);
}

bool frmQX417::trapped(const QString &title, const QString &errorId, const std::function<void()> &body)
{
    try {
        body();
        return false;
    } catch (const zentaro::Error &error) {
        showMessage(error.description(), 16, title, errorId);
    } catch (const std::exception &error) {
        showMessage(QString::fromLocal8Bit(error.what()), 16, title, errorId);
    }
    return true;
}

void frmQX417::refuse(const QString &message, const QString &title, const QString &errorId, QWidget *focus)
{
    ssTabVek->setTab(0);
    showMessage(message, 48, title, errorId);
    if (focus && focus->isEnabled())
        focus->setFocus();
}

bool frmQX417::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && (watched == frDetalle || watched == frDev))
        fitPages();
    if (event->type() == QEvent::KeyRelease) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && (widget == this || isAncestorOf(widget)) && widget->window() == window()) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (!key->isAutoRepeat()) {
                int shift = 0;
                if (key->modifiers() & Qt::ShiftModifier) shift |= 1;
                if (key->modifiers() & Qt::ControlModifier) shift |= 2;
                if (key->modifiers() & Qt::AltModifier) shift |= 4;
                const int code = key->key() >= Qt::Key_0 && key->key() <= Qt::Key_9 ? key->key() : key->key() & 0xffff;
                zentaro::dispatchEvent(QStringLiteral("Form_KeyUp"), [&] { Form_KeyUp(code, shift); });
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmQX417::scriptKey(int keyCode, int shift)
{
    Form_KeyUp(keyCode, shift);
}

QStringList frmQX417::scriptDefaultProperties() const
{
    return {QStringLiteral("ErrorText")};
}

} // namespace qx417
