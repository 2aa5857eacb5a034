#pragma once

#include <QObject>
#include <QString>
#include <QWidget>
#include <QtPlugin>

namespace zentaro {

// The entry class a module hands to the host: the host reads the screen from it.
class ModuleEntry
{
public:
    virtual ~ModuleEntry() = default;
    // The module's one screen, created on first use; nullptr when it cannot be created.
    virtual QWidget *GetPantalla() = 0;
    virtual QString Modulo() const = 0;
};

// What the host needs of a screen it shows.
class HostedScreen
{
public:
    virtual ~HostedScreen() = default;
    virtual QObject *Padre() const = 0;
    virtual void setPadre(QObject *padre) = 0;
    // Raises zentaro::Error when the host object is missing or lacks the member.
    virtual QString Transaccion() const = 0;
    // Runs the screen's load (first time) and activate handlers, as the window system
    // does when the screen is shown and becomes active.
    virtual void activateScreen() = 0;
};

// A loadable module. Its plugin metadata (compiled in) carries "code", "family",
// "title", "version" and "api".
class ModuleInterface
{
public:
    virtual ~ModuleInterface() = default;
    // Creates an entry object; the caller owns it.
    virtual ModuleEntry *createEntry() = 0;
};

inline constexpr int kModuleApiVersion = 1;

} // namespace zentaro

#define ZENTARO_MODULE_IID "mx.zentaro.Module/1"
Q_DECLARE_INTERFACE(zentaro::ModuleInterface, ZENTARO_MODULE_IID)
