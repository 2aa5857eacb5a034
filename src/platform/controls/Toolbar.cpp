#include "platform/controls/Toolbar.h"

#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/services/ExtraFields.h"
#include "platform/services/Platform.h"

#include <QEvent>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>
#include <optional>

namespace zentaro {

namespace {

struct ButtonInfo
{
    Toolbar::Event event;
    const char16_t *name;   // the handler suffix scripts use, and the caption of the fixed buttons
    QStyle::StandardPixmap icon;
    const char *shortcut;
};

constexpr int kButtons = 10;

const std::array<ButtonInfo, kButtons> &buttonInfo()
{
    static const std::array<ButtonInfo, kButtons> info = {{
        {Toolbar::New, u"Nuevo", QStyle::SP_FileIcon, "Ctrl+N"},
        {Toolbar::Accept, u"Aceptar", QStyle::SP_DialogApplyButton, "F10"},
        {Toolbar::Cancel, u"Cancelar", QStyle::SP_DialogCancelButton, "Esc"},
        {Toolbar::Delete, u"Eliminar", QStyle::SP_TrashIcon, "Ctrl+Del"},
        {Toolbar::Output, u"Imprimir", QStyle::SP_FileDialogDetailedView, "Ctrl+P"},
        {Toolbar::Record, u"Registro", QStyle::SP_FileDialogInfoView, "Ctrl+R"},
        {Toolbar::Option1, u"Opcion1", QStyle::SP_ArrowRight, "F5"},
        {Toolbar::Option2, u"Opcion2", QStyle::SP_ArrowRight, "F6"},
        {Toolbar::Option3, u"Opcion3", QStyle::SP_ArrowRight, "F7"},
        {Toolbar::Exit, u"Salir", QStyle::SP_DialogCloseButton, "Ctrl+Q"},
    }};
    return info;
}

bool isSi(const QString &text)
{
    return text.trimmed().compare(QLatin1String("SI"), Qt::CaseInsensitive) == 0;
}

} // namespace

// A child QObject of the toolbar, so that it goes with it (the class declares no
// destructor of its own).
struct Toolbar::Private : public QObject
{
    // The popup of additional fields closes by itself (a click elsewhere): its button follows.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == extraPanel && event->type() == QEvent::Hide && extraToggle->isChecked())
            extraToggle->setChecked(false);
        return false;
    }

    QLabel *title = nullptr;
    QMap<int, QToolButton *> buttons;   // by event number
    QList<QShortcut *> shortcuts;
    QToolButton *extraToggle = nullptr;
    QWidget *extraPanel = nullptr;
    QFormLayout *extraForm = nullptr;
    QList<QPair<QString, QLineEdit *>> extraEdits;   // field name, its box; in Ce_Orden order
    std::optional<QString> extraFieldsOf;            // the OptionTable the boxes were built for

    QString caption;
    bool isNew = false;
    bool outputEnabled = false;
    bool recordEnabled = false;
    bool cancelEnabled = false;
    QString optionCaptions[3];
    QString keyValue;
    QString showWindowList = QStringLiteral("NO");
    QString showExit = QStringLiteral("SI");
    QString easyAccess = QStringLiteral("NO");
    QString popupMenu = QStringLiteral("NO");
    QString optionTable;
    QString optionKey;
    bool shortcutsEnabled = true;

    bool available(int event) const
    {
        const QToolButton *button = buttons.value(event);
        return button && !button->isHidden() && button->isEnabled();
    }

    // The buttons follow the properties.
    void refresh()
    {
        buttons[Accept]->setEnabled(isNew);
        buttons[Output]->setEnabled(outputEnabled);
        buttons[Record]->setEnabled(recordEnabled);
        buttons[Delete]->setEnabled(cancelEnabled);
        buttons[Exit]->setVisible(isSi(showExit));
        const Event options[3] = {Option1, Option2, Option3};
        for (int i = 0; i < 3; ++i) {
            QToolButton *button = buttons[options[i]];
            button->setText(optionCaptions[i]);
            button->setVisible(!optionCaptions[i].isEmpty());
        }
        for (QShortcut *shortcut : std::as_const(shortcuts))
            shortcut->setEnabled(shortcutsEnabled);
    }

    // Builds one box per additional field of OptionTable, in their order. Without a session
    // (a screen in a designer, a test without a database) there are none.
    void ensureExtraFields()
    {
        if (extraFieldsOf && *extraFieldsOf == optionTable)
            return;
        while (extraForm->rowCount() > 0)
            extraForm->removeRow(0);
        extraEdits.clear();
        extraFieldsOf = optionTable;
        if (!optionTable.trimmed().isEmpty() && Platform::isInstalled()) {
            for (const extrafields::Definition &definition :
                 extrafields::definitions(Platform::instance().connection(), optionTable)) {
                auto *edit = new QLineEdit(extraPanel);
                edit->setObjectName(definition.field);
                edit->setMaxLength(250);   // Campo_Extra_Valor.Ce_Valor
                extraForm->addRow(definition.label + u':', edit);
                extraEdits.append({definition.field, edit});
            }
        }
        extraToggle->setVisible(!extraEdits.isEmpty());
        if (extraEdits.isEmpty())
            extraToggle->setChecked(false);
    }

    void clearExtraFields()
    {
        for (const auto &[field, edit] : std::as_const(extraEdits))
            edit->clear();
    }
};

Toolbar::Toolbar(QWidget *parent) : QWidget(parent), d(new Private)
{
    // One row, so that the bar fits the height screens give it: the caption, the buttons,
    // and at the right end the additional fields and Exit.
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(6, 2, 6, 2);
    row->setSpacing(2);

    d->title = new QLabel(this);
    d->title->setObjectName(QStringLiteral("caption"));
    QFont titleFont = d->title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    d->title->setFont(titleFont);
    row->addWidget(d->title);
    row->addSpacing(16);
    for (const ButtonInfo &info : buttonInfo()) {
        auto *button = new QToolButton(this);
        const QString name = QString::fromUtf16(info.name);
        button->setObjectName(name);
        button->setText(name);
        button->setIcon(style()->standardIcon(info.icon, nullptr, this));
        button->setIconSize(QSize(24, 24));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setMinimumWidth(64);
        const QKeySequence sequence(QString::fromLatin1(info.shortcut));
        button->setToolTip(QStringLiteral("%1 (%2)").arg(name, sequence.toString(QKeySequence::NativeText)));
        if (info.event == Exit) {
            row->addStretch(1);   // Exit stands apart at the right end
            row->addWidget(d->extraToggle = new QToolButton(this));
        }
        row->addWidget(button);
        const Event event = info.event;
        connect(button, &QToolButton::clicked, this, [this, event] { press(event); });
        d->buttons.insert(event, button);

        auto *shortcut = new QShortcut(sequence, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, event] {
            if (d->available(event))
                press(event);
        });
        d->shortcuts.append(shortcut);
    }

    d->extraToggle->setObjectName(QStringLiteral("extraFieldsToggle"));
    d->extraToggle->setText(QStringLiteral("Campos adicionales"));
    d->extraToggle->setCheckable(true);
    d->extraToggle->setAutoRaise(true);
    d->extraToggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    d->extraToggle->setArrowType(Qt::RightArrow);
    d->extraToggle->setVisible(false);

    // The fields open below their button, over the screen, and close when the clerk
    // clicks elsewhere.
    d->extraPanel = new QFrame(this, Qt::Popup);
    d->extraPanel->setObjectName(QStringLiteral("extraFields"));
    static_cast<QFrame *>(d->extraPanel)->setFrameShape(QFrame::StyledPanel);
    d->extraForm = new QFormLayout(d->extraPanel);
    d->extraForm->setContentsMargins(12, 8, 12, 8);
    d->extraPanel->setVisible(false);
    d->extraPanel->installEventFilter(d);
    connect(d->extraToggle, &QToolButton::toggled, this, [this](bool open) {
        d->extraToggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        if (open) {
            d->extraPanel->adjustSize();
            const QPoint below = d->extraToggle->mapToGlobal(QPoint(0, d->extraToggle->height()));
            d->extraPanel->move(below.x() + d->extraToggle->width() - d->extraPanel->width(), below.y());
        }
        d->extraPanel->setVisible(open);
    });

    d->setParent(this);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    d->refresh();
}

QString Toolbar::caption() const { return d->caption; }

void Toolbar::setCaption(const QString &caption)
{
    d->caption = caption;
    d->title->setText(caption);
}

bool Toolbar::isNew() const { return d->isNew; }
bool Toolbar::outputEnabled() const { return d->outputEnabled; }
void Toolbar::setOutputEnabled(bool on) { d->outputEnabled = on; d->refresh(); }
bool Toolbar::recordEnabled() const { return d->recordEnabled; }
void Toolbar::setRecordEnabled(bool on) { d->recordEnabled = on; d->refresh(); }
bool Toolbar::cancelEnabled() const { return d->cancelEnabled; }
void Toolbar::setCancelEnabled(bool on) { d->cancelEnabled = on; d->refresh(); }
QString Toolbar::opcion1Caption() const { return d->optionCaptions[0]; }
void Toolbar::setOpcion1Caption(const QString &caption) { d->optionCaptions[0] = caption; d->refresh(); }
QString Toolbar::opcion2Caption() const { return d->optionCaptions[1]; }
void Toolbar::setOpcion2Caption(const QString &caption) { d->optionCaptions[1] = caption; d->refresh(); }
QString Toolbar::opcion3Caption() const { return d->optionCaptions[2]; }
void Toolbar::setOpcion3Caption(const QString &caption) { d->optionCaptions[2] = caption; d->refresh(); }
QString Toolbar::keyValue() const { return d->keyValue; }
void Toolbar::setKeyValue(const QString &key) { d->keyValue = key; }
QString Toolbar::showWindowList() const { return d->showWindowList; }
void Toolbar::setShowWindowList(const QString &siNo) { d->showWindowList = siNo; }
QString Toolbar::showExit() const { return d->showExit; }
void Toolbar::setShowExit(const QString &siNo) { d->showExit = siNo; d->refresh(); }
QString Toolbar::easyAccess() const { return d->easyAccess; }
void Toolbar::setEasyAccess(const QString &siNo) { d->easyAccess = siNo; }
QString Toolbar::popupMenu() const { return d->popupMenu; }
void Toolbar::setPopupMenu(const QString &siNo) { d->popupMenu = siNo; }
QString Toolbar::optionTable() const { return d->optionTable; }

void Toolbar::setOptionTable(const QString &table)
{
    d->optionTable = table;
    // The boxes are built when first needed, so that a screen may name the table before
    // the session is there.
    if (Platform::isInstalled())
        d->ensureExtraFields();
}

QString Toolbar::optionKey() const { return d->optionKey; }
void Toolbar::setOptionKey(const QString &column) { d->optionKey = column; }
bool Toolbar::shortcutsEnabled() const { return d->shortcutsEnabled; }
void Toolbar::setShortcutsEnabled(bool on) { d->shortcutsEnabled = on; d->refresh(); }

void Toolbar::NotifySuccess()
{
    d->isNew = false;
    d->refresh();
    emit modeChanged(false);
}

void Toolbar::NotifyFailure()
{
    // The clerk corrects the document and accepts again: still a new document.
}

bool Toolbar::UpdateExtraFields(const QString &folio)
{
    if (d->optionTable.trimmed().isEmpty())
        return true;   // the screen keeps no additional fields
    if (folio.trimmed().isEmpty() || !Platform::isInstalled())
        return false;
    try {
        d->ensureExtraFields();
        // The values go with the document the caller is storing, in its transaction; a
        // false answer makes the caller roll the whole document back.
        extrafields::Values values;
        for (const auto &[field, edit] : std::as_const(d->extraEdits))
            values.append({field, edit->text()});
        extrafields::store(Platform::instance().connection(), d->optionTable, folio, values);
    } catch (const Error &error) {
        qWarning("Campos adicionales de %s: %s", qPrintable(folio), qPrintable(error.description()));
        return false;
    }
    return true;
}

void Toolbar::LoadExtraFields(const QString &folio)
{
    d->ensureExtraFields();
    d->clearExtraFields();
    if (d->extraEdits.isEmpty() || folio.trimmed().isEmpty())
        return;
    for (const auto &[field, value] : extrafields::load(Platform::instance().connection(), d->optionTable, folio)) {
        for (const auto &[name, edit] : std::as_const(d->extraEdits)) {
            if (name == field)
                edit->setText(value);
        }
    }
}

void Toolbar::press(Event event)
{
    // The mode changes before the screen hears of the press, so that its handler already
    // sees the new document (or none).
    if (event == New || event == Cancel) {
        d->isNew = event == New;
        d->refresh();
        d->clearExtraFields();
        emit modeChanged(d->isNew);
    }
    dispatchEvent(objectName(), [this, event] { emit buttonEvent(int(event)); });
}

void Toolbar::scriptClick(const QString &button)
{
    const QString wanted = button.trimmed();
    for (const ButtonInfo &info : buttonInfo()) {
        const QString name = QString::fromUtf16(info.name);
        if (name.compare(wanted, Qt::CaseInsensitive) != 0)
            continue;
        if (!d->available(info.event))
            throw ScriptRefusal(QStringLiteral("el botón %1 no está disponible").arg(name));
        press(info.event);
        return;
    }
    throw ScriptRefusal(QStringLiteral("la barra no tiene el botón %1").arg(wanted));
}

QStringList Toolbar::scriptDefaultProperties() const
{
    return {QStringLiteral("Caption"), QStringLiteral("IsNew"), QStringLiteral("Opcion1Caption"),
            QStringLiteral("Opcion2Caption"), QStringLiteral("Opcion3Caption"), QStringLiteral("OutputEnabled"),
            QStringLiteral("RecordEnabled"), QStringLiteral("CancelEnabled")};
}

} // namespace zentaro
