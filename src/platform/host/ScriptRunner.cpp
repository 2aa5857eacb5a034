#include "platform/host/ScriptRunner.h"

#include "platform/controls/ScriptableControl.h"
#include "platform/controls/TextFormats.h"
#include "platform/core/Error.h"
#include "platform/core/LateBinding.h"
#include "platform/db/Schema.h"
#include "platform/host/ModuleSession.h"
#include "platform/host/ScriptLexer.h"
#include "platform/host/ScriptPresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaProperty>
#include <QTabBar>
#include <QTabWidget>

namespace zentaro {

namespace {

// Key codes of the suite's key events (the Windows virtual-key numbers) as Qt keys.
int qtKey(int code)
{
    switch (code) {
    case 8: return Qt::Key_Backspace;
    case 9: return Qt::Key_Tab;
    case 13: return Qt::Key_Return;
    case 27: return Qt::Key_Escape;
    case 32: return Qt::Key_Space;
    case 33: return Qt::Key_PageUp;
    case 34: return Qt::Key_PageDown;
    case 35: return Qt::Key_End;
    case 36: return Qt::Key_Home;
    case 37: return Qt::Key_Left;
    case 38: return Qt::Key_Up;
    case 39: return Qt::Key_Right;
    case 40: return Qt::Key_Down;
    case 46: return Qt::Key_Delete;
    default:
        break;
    }
    if (code >= 112 && code <= 123)
        return Qt::Key_F1 + (code - 112);
    return code;   // digits and capital letters share their codes
}

Qt::KeyboardModifiers qtModifiers(int shift)
{
    Qt::KeyboardModifiers modifiers;
    if (shift & 1) modifiers |= Qt::ShiftModifier;
    if (shift & 2) modifiers |= Qt::ControlModifier;
    if (shift & 4) modifiers |= Qt::AltModifier;
    return modifiers;
}

QVariant readProperty(const QObject &object, const QString &name)
{
    const QMetaObject *meta = object.metaObject();
    int index = meta->indexOfProperty(name.toLatin1().constData());
    if (index < 0)   // plain Qt widgets name their properties in lower camel case
        index = meta->indexOfProperty((name.left(1).toLower() + name.mid(1)).toLatin1().constData());
    if (index < 0)
        throw ScriptRefusal(QStringLiteral("el control %1 no tiene la propiedad %2").arg(object.objectName(), name));
    return meta->property(index).read(&object);
}

bool hasProperty(const QObject &object, const QString &name)
{
    const QMetaObject *meta = object.metaObject();
    return meta->indexOfProperty(name.toLatin1().constData()) >= 0
        || (name == QLatin1String("Enabled") && meta->indexOfProperty("enabled") >= 0);
}

} // namespace

ScriptRunner::ScriptRunner(ConnectionUrl database, QString user, ModuleLoader loader, JsonLines out)
    : m_database(std::move(database)), m_user(std::move(user)), m_loader(std::move(loader)), m_out(out)
{
}

ScriptRunner::~ScriptRunner()
{
    m_session.reset();
    if (m_platformReady)
        Platform::uninstall();
}

void ScriptRunner::startSession()
{
    if (m_platformReady)
        return;
    auto connection = Connection::open(m_database);
    schema::verify(*connection);
    auto platform = std::make_unique<Platform>(std::move(connection), m_user, std::make_shared<ScriptPresenter>(m_out));
    Platform::install(std::move(platform));
    m_platformReady = true;
}

int ScriptRunner::run(const QStringList &lines)
{
    try {
        startSession();
    } catch (const Error &error) {
        m_out.write({{QStringLiteral("error"), error.description()}, {QStringLiteral("where"), QStringLiteral("zentaro")}});
        return 1;
    }
    for (int n = 0; n < lines.size(); ++n) {
        QString problem;
        const auto words = splitScriptLine(lines.at(n), &problem);
        try {
            if (!words)
                throw BadLine {problem};
            if (words->isEmpty())
                continue;
            execute(*words);
            settle();
        } catch (const BadLine &bad) {
            m_out.write({{QStringLiteral("script_error"), bad.text}, {QStringLiteral("line"), QJsonValue(n + 1)}});
            return 2;
        } catch (const ScriptRefusal &refusal) {
            m_out.write({{QStringLiteral("script_error"), refusal.description()}, {QStringLiteral("line"), QJsonValue(n + 1)}});
            return 2;
        }
    }
    return 0;
}

void ScriptRunner::settle() const
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

void ScriptRunner::execute(const QStringList &words)
{
    const QString command = words.first().toLower();
    auto need = [&](int count) {
        if (words.size() < count + 1)
            throw BadLine {QStringLiteral("faltan argumentos para %1").arg(command)};
    };
    if (command == QLatin1String("user")) {
        need(1);
        if (m_session)
            throw BadLine {QStringLiteral("user va antes de open")};
        Recordset rs = Platform::instance().connection().select(
            QStringLiteral("SELECT Us_Cve_Usuario FROM Usuario WHERE Us_Cve_Usuario = ?"), {words[1]});
        if (rs.eof())
            throw BadLine {QStringLiteral("el usuario %1 no existe").arg(words[1])};
        Platform::instance().setUserCode(words[1]);
    } else if (command == QLatin1String("clock")) {
        need(1);
        try {
            Platform::instance().fixClock(textformat::readDateTime(words.mid(1).join(u' ')));
        } catch (const Error &error) {
            throw BadLine {error.description()};
        }
    } else if (command == QLatin1String("answer")) {
        need(2);
        Platform::instance().queueAnswer(words[1], words.mid(2).join(u'|'));
    } else if (command == QLatin1String("open")) {
        need(1);
        if (m_session)
            throw BadLine {QStringLiteral("ya hay un módulo abierto")};
        try {
            m_session = std::make_unique<ModuleSession>(m_loader, words[1]);
        } catch (const Error &error) {
            throw BadLine {error.description()};
        }
        QObject::connect(&m_session->host(), &HostObject::unloadRequested, [this] {
            if (m_session && m_session->screen())
                m_session->screen()->hide();
        });
        m_session->screen()->resize(1280, 800);   // the size a clerk's screen gives it
        m_session->show();
    } else if (command == QLatin1String("type")) {
        commandType(words);
    } else if (command == QLatin1String("enter")) {
        commandEnter(words);
    } else if (command == QLatin1String("click")) {
        commandClick(words);
    } else if (command == QLatin1String("set")) {
        commandSet(words);
    } else if (command == QLatin1String("check")) {
        commandCheck(words);
    } else if (command == QLatin1String("select")) {
        commandSelect(words);
    } else if (command == QLatin1String("key")) {
        commandKey(words);
    } else if (command == QLatin1String("tab")) {
        commandTab(words);
    } else if (command == QLatin1String("call")) {
        commandCall(words);
    } else if (command == QLatin1String("show")) {
        commandShow(words);
    } else if (command == QLatin1String("sql")) {
        commandSql(words);
    } else if (command == QLatin1String("grab")) {
        commandGrab(words);
    } else {
        throw BadLine {QStringLiteral("orden desconocida: %1").arg(words.first())};
    }
}

QWidget &ScriptRunner::control(const QString &name) const
{
    if (!m_session || !m_session->screen())
        throw BadLine {QStringLiteral("no hay un módulo abierto")};
    QWidget *screen = m_session->screen();
    if (screen->objectName() == name)
        return *screen;
    auto *found = screen->findChild<QWidget *>(name);
    if (!found)
        throw BadLine {QStringLiteral("no existe el control %1").arg(name)};
    return *found;
}

namespace {

// Runs a control command: refusals are bad lines, anything else the control did not trap
// is reported as the platform reports it.
template<typename Action>
void onControl(QWidget &widget, Action action)
{
    auto *scriptable = dynamic_cast<ScriptableControl *>(&widget);
    QString failure;
    try {
        action(scriptable);
        return;
    } catch (const ScriptRefusal &) {
        throw;
    } catch (const Error &error) {
        failure = error.description();
    }
    Platform::instance().presenter().reportError(failure, widget.objectName());
}

} // namespace

void ScriptRunner::commandType(const QStringList &words)
{
    if (words.size() < 2)
        throw BadLine {QStringLiteral("faltan argumentos para type")};
    QWidget &widget = control(words[1]);
    const QString text = words.mid(2).join(u' ');
    onControl(widget, [&](ScriptableControl *scriptable) {
        if (scriptable)
            scriptable->scriptType(text);
        else if (auto *edit = qobject_cast<QLineEdit *>(&widget)) {
            edit->setText(text);
            emit edit->textEdited(text);
        } else
            throw ScriptRefusal(QStringLiteral("el control %1 no admite type").arg(words[1]));
    });
}

void ScriptRunner::commandEnter(const QStringList &words)
{
    if (words.size() < 2)
        throw BadLine {QStringLiteral("faltan argumentos para enter")};
    QWidget &widget = control(words[1]);
    onControl(widget, [&](ScriptableControl *scriptable) {
        if (!scriptable)
            throw ScriptRefusal(QStringLiteral("el control %1 no admite enter").arg(words[1]));
        scriptable->scriptEnter();
    });
}

void ScriptRunner::commandClick(const QStringList &words)
{
    if (words.size() < 2)
        throw BadLine {QStringLiteral("faltan argumentos para click")};
    QWidget &widget = control(words[1]);
    const QString button = words.value(2);
    onControl(widget, [&](ScriptableControl *scriptable) {
        if (scriptable)
            scriptable->scriptClick(button);
        else if (auto *plain = qobject_cast<QAbstractButton *>(&widget))
            plain->click();
        else
            throw ScriptRefusal(QStringLiteral("el control %1 no admite click").arg(words[1]));
    });
}

void ScriptRunner::commandSet(const QStringList &words)
{
    if (words.size() < 4)
        throw BadLine {QStringLiteral("set necesita control, propiedad y valor")};
    QWidget &widget = control(words[1]);
    const QByteArray property = words[2].toLatin1();
    const int index = widget.metaObject()->indexOfProperty(property.constData());
    if (index < 0)
        throw BadLine {QStringLiteral("el control %1 no tiene la propiedad %2").arg(words[1], words[2])};
    const QMetaProperty meta = widget.metaObject()->property(index);
    QVariant value = words.mid(3).join(u' ');
    if (meta.metaType().id() == QMetaType::QDate || meta.metaType().id() == QMetaType::QDateTime) {
        QDateTime when;
        try {
            when = textformat::readDateTime(value.toString());
        } catch (const Error &error) {
            throw BadLine {error.description()};
        }
        if (meta.metaType().id() == QMetaType::QDate && when.time() != QTime(0, 0))
            throw BadLine {QStringLiteral("%1.%2 es una fecha sin hora: %3").arg(words[1], words[2], value.toString())};
        value = meta.metaType().id() == QMetaType::QDate ? QVariant(when.date()) : QVariant(when);
    } else if (meta.metaType().id() == QMetaType::Bool) {
        const QString text = value.toString().toLower();
        value = text == QLatin1String("true") || text == QLatin1String("1") || text == QLatin1String("si");
    }
    onControl(widget, [&](ScriptableControl *) {
        if (!meta.write(&widget, value))
            throw ScriptRefusal(QStringLiteral("no se pudo asignar %1 a %2.%3").arg(value.toString(), words[1], words[2]));
    });
}

void ScriptRunner::commandCheck(const QStringList &words)
{
    if (words.size() < 4 || (words[3] != QLatin1String("on") && words[3] != QLatin1String("off")))
        throw BadLine {QStringLiteral("check necesita lista, clave y on|off")};
    QWidget &widget = control(words[1]);
    onControl(widget, [&](ScriptableControl *scriptable) {
        if (!scriptable)
            throw ScriptRefusal(QStringLiteral("el control %1 no es una lista").arg(words[1]));
        scriptable->scriptCheck(words[2], words[3] == QLatin1String("on"));
    });
}

void ScriptRunner::commandSelect(const QStringList &words)
{
    if (words.size() < 2)
        throw BadLine {QStringLiteral("faltan argumentos para select")};
    QWidget &widget = control(words[1]);
    onControl(widget, [&](ScriptableControl *scriptable) {
        if (!scriptable)
            throw ScriptRefusal(QStringLiteral("el control %1 no es una lista").arg(words[1]));
        scriptable->scriptSelect(words.mid(2));
    });
}

void ScriptRunner::commandKey(const QStringList &words)
{
    bool ok = false;
    const int code = words.value(2).toInt(&ok);
    if (words.size() < 3 || !ok)
        throw BadLine {QStringLiteral("key necesita control y código de tecla")};
    const int shift = words.value(3, QStringLiteral("0")).toInt();
    QWidget &widget = control(words[1]);
    onControl(widget, [&](ScriptableControl *scriptable) {
        if (scriptable) {
            scriptable->scriptKey(code, shift);
            return;
        }
        QKeyEvent press(QEvent::KeyPress, qtKey(code), qtModifiers(shift));
        QKeyEvent release(QEvent::KeyRelease, qtKey(code), qtModifiers(shift));
        QApplication::sendEvent(&widget, &press);
        QApplication::sendEvent(&widget, &release);
    });
}

void ScriptRunner::commandTab(const QStringList &words)
{
    bool ok = false;
    const int page = words.value(1).toInt(&ok);
    if (!ok)
        throw BadLine {QStringLiteral("tab necesita un número de página")};
    QWidget &screen = control(m_session ? m_session->screen()->objectName() : QString());
    for (QWidget *widget : screen.findChildren<QWidget *>()) {
        if (auto *scriptable = dynamic_cast<ScriptableControl *>(widget);
            scriptable && widget->property("zentaroTabStrip").toBool()) {
            onControl(*widget, [&](ScriptableControl *) { scriptable->scriptClick(QString::number(page)); });
            return;
        }
        if (auto *tabs = qobject_cast<QTabWidget *>(widget)) {
            tabs->setCurrentIndex(page);
            return;
        }
    }
    throw BadLine {QStringLiteral("la pantalla no tiene páginas")};
}

QObject &ScriptRunner::callTarget(const QString &name) const
{
    if (!m_session)
        throw BadLine {QStringLiteral("no hay un módulo abierto")};
    if (name == QLatin1String("Pantalla") && m_session->entryObject())
        return *m_session->entryObject();
    if (name == QLatin1String("Padre"))
        return m_session->host();
    if (m_session->screen() && name == m_session->screen()->objectName())
        return *m_session->screen();
    throw BadLine {QStringLiteral("objeto desconocido: %1").arg(name)};
}

void ScriptRunner::commandCall(const QStringList &words)
{
    const qsizetype dot = words.value(1).indexOf(u'.');
    if (words.size() < 2 || dot <= 0)
        throw BadLine {QStringLiteral("call necesita OBJETO.MIEMBRO")};
    const QString objectName = words[1].left(dot);
    const QByteArray member = words[1].mid(dot + 1).toLatin1();
    QObject &target = callTarget(objectName);
    const QVariantList arguments(words.begin() + 2, words.end());
    OrderedJson line = OrderedJson::object();
    line.insert(QStringLiteral("call"), words[1]);
    try {
        QVariant result;
        if (arguments.isEmpty() && target.metaObject()->indexOfProperty(member.constData()) >= 0)
            result = latebound::get(&target, member.constData());
        else
            result = latebound::call(&target, member.constData(), arguments);
        line.insert(QStringLiteral("result"), toJson(result));
    } catch (const Error &error) {
        line.insert(QStringLiteral("error"), error.description());
    }
    m_out.write(line);
}

void ScriptRunner::commandShow(const QStringList &words)
{
    if (words.size() < 2)
        throw BadLine {QStringLiteral("faltan argumentos para show")};
    QWidget &widget = control(words[1]);
    auto *scriptable = dynamic_cast<ScriptableControl *>(&widget);
    if (scriptable && words.size() == 2) {
        OrderedJson list = scriptable->scriptListState();
        if (!list.isEmpty()) {
            OrderedJson line = OrderedJson::object();
            line.insert(QStringLiteral("control"), words[1]);
            list.appendMembersTo(line);
            m_out.write(line);
            return;
        }
    }
    QStringList properties = words.mid(2);
    if (properties.isEmpty()) {
        const QStringList defaults = scriptable ? scriptable->scriptDefaultProperties()
                                                : QStringList {QStringLiteral("Text"), QStringLiteral("Enabled")};
        for (const QString &name : defaults)
            if (hasProperty(widget, name))
                properties << name;
    }
    for (const QString &name : properties) {
        const QVariant value = readProperty(widget, name);
        m_out.write({{QStringLiteral("control"), words[1]}, {QStringLiteral("property"), name},
                     {QStringLiteral("value"), toJson(value)}});
    }
}

void ScriptRunner::commandSql(const QStringList &words)
{
    const QString statement = words.mid(1).join(u' ');
    if (statement.isEmpty())
        throw BadLine {QStringLiteral("sql necesita una instrucción")};
    OrderedJson line = OrderedJson::object();
    line.insert(QStringLiteral("sql"), statement);
    try {
        Recordset rs = Platform::instance().connection().select(statement);
        OrderedJson rows = OrderedJson::array();
        for (; !rs.eof(); rs.moveNext()) {
            OrderedJson row = OrderedJson::object();
            // Column names in lower case: PostgreSQL folds unquoted names, SQLite keeps them.
            for (int i = 0; i < rs.fieldCount(); ++i) {
                const QString name = rs.fieldName(i).toLower();
                if (rs.value(i).isNull())
                    row.insert(name, QJsonValue(QJsonValue::Null));
                else if (rs.isNumeric(i))
                    row.insert(name, QJsonValue(Decimal::fromVariant(rs.value(i)).toString().toDouble()));
                else
                    row.insert(name, rs.textAt(i));
            }
            rows.append(row);
        }
        line.insert(QStringLiteral("rows"), rows);
    } catch (const Error &error) {
        line.insert(QStringLiteral("error"), error.description());
    }
    m_out.write(line);
}

void ScriptRunner::commandGrab(const QStringList &words)
{
    if (words.size() < 2)
        throw BadLine {QStringLiteral("grab necesita un archivo")};
    QWidget &screen = control(m_session ? m_session->screen()->objectName() : QString());
    if (!screen.grab().save(words[1]))
        throw BadLine {QStringLiteral("no se pudo guardar %1").arg(words[1])};
}

} // namespace zentaro
