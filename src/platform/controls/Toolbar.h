#pragma once

#include "platform/controls/ScriptableControl.h"

#include <QWidget>

namespace zentaro {

// The suite's document toolbar. It shows the screen's caption and the buttons New,
// Accept, Cancel, Exit, Delete, Output, Document record and three free buttons (hidden
// while their caption is ""), raises numbered events for them and keeps the screen's
// new-document mode: IsNew is true from New until Accept succeeds (NotifySuccess) or
// Cancel runs. Keyboard: Ctrl+N New, F10 Accept, Esc Cancel, Ctrl+Q Exit, Ctrl+P Output,
// Ctrl+R Record, Ctrl+Del Delete, F5/F6/F7 the free buttons.
class Toolbar : public QWidget, public ScriptableControl
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(bool IsNew READ isNew)
    Q_PROPERTY(bool OutputEnabled READ outputEnabled WRITE setOutputEnabled)
    Q_PROPERTY(bool RecordEnabled READ recordEnabled WRITE setRecordEnabled)
    Q_PROPERTY(bool CancelEnabled READ cancelEnabled WRITE setCancelEnabled)
    Q_PROPERTY(QString Opcion1Caption READ opcion1Caption WRITE setOpcion1Caption)
    Q_PROPERTY(QString Opcion2Caption READ opcion2Caption WRITE setOpcion2Caption)
    Q_PROPERTY(QString Opcion3Caption READ opcion3Caption WRITE setOpcion3Caption)
    Q_PROPERTY(QString KeyValue READ keyValue WRITE setKeyValue)
    Q_PROPERTY(QString ShowWindowList READ showWindowList WRITE setShowWindowList)
    Q_PROPERTY(QString ShowExit READ showExit WRITE setShowExit)
    Q_PROPERTY(QString EasyAccess READ easyAccess WRITE setEasyAccess)
    Q_PROPERTY(QString PopupMenu READ popupMenu WRITE setPopupMenu)
    Q_PROPERTY(QString OptionTable READ optionTable WRITE setOptionTable)
    Q_PROPERTY(QString OptionKey READ optionKey WRITE setOptionKey)
    Q_PROPERTY(bool ShortcutsEnabled READ shortcutsEnabled WRITE setShortcutsEnabled)

public:
    // Event numbers of the buttons.
    enum Event { New = 10, Output = 12, Record = 13, Delete = 15, Accept = 16, Cancel = 17, Exit = 18,
                 Option1 = 19, Option2 = 20, Option3 = 21 };

    explicit Toolbar(QWidget *parent = nullptr);

    QString caption() const;
    void setCaption(const QString &caption);
    bool isNew() const;
    bool outputEnabled() const;
    void setOutputEnabled(bool on);
    bool recordEnabled() const;
    void setRecordEnabled(bool on);
    bool cancelEnabled() const;   // the Delete button: cancelling the stored document
    void setCancelEnabled(bool on);
    QString opcion1Caption() const;
    void setOpcion1Caption(const QString &caption);
    QString opcion2Caption() const;
    void setOpcion2Caption(const QString &caption);
    QString opcion3Caption() const;
    void setOpcion3Caption(const QString &caption);
    QString keyValue() const;
    void setKeyValue(const QString &key);
    QString showWindowList() const;
    void setShowWindowList(const QString &siNo);
    QString showExit() const;
    void setShowExit(const QString &siNo);
    QString easyAccess() const;
    void setEasyAccess(const QString &siNo);
    QString popupMenu() const;
    void setPopupMenu(const QString &siNo);
    QString optionTable() const;
    void setOptionTable(const QString &table);
    QString optionKey() const;
    void setOptionKey(const QString &column);
    bool shortcutsEnabled() const;
    void setShortcutsEnabled(bool on);

    // Accept ended well: leaves new-document mode. Accept failed: stays in it.
    void NotifySuccess();
    void NotifyFailure();
    // Stores / shows the document's additional fields (the suite's extra-fields table for
    // OptionTable) in the toolbar's small panel. Store runs inside the caller's transaction
    // and answers false when the fields could not be stored.
    bool UpdateExtraFields(const QString &folio);
    void LoadExtraFields(const QString &folio);

    // Presses a button as the user does; `button` is the handler suffix: Nuevo, Aceptar,
    // Cancelar, Salir, Eliminar, Imprimir, Registro, Opcion1, Opcion2, Opcion3.
    void press(Event event);
    void scriptClick(const QString &button) override;
    QStringList scriptDefaultProperties() const override;

signals:
    // Raised for every button press, after IsNew has followed New or Cancel.
    void buttonEvent(int event);
    // IsNew changed: New, Cancel, or an Accept that ended well (right after its commit).
    void modeChanged(bool isNew);

private:
    struct Private;
    Private *d;
};

} // namespace zentaro
