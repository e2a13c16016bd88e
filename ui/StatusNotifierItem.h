// The notification-area icon as a StatusNotifierItem on the session bus
// (libayatana-appindicator), for the panels that show no XEmbed icons:
// KDE Plasma, GNOME with its AppIndicator extension, XFCE, Cinnamon, MATE,
// LXQt, sway's bar. Its menu and activation reach the wx event loop as menu
// events queued to a handler; no window is touched in a GTK or D-Bus callback.
#ifndef VORN_UI_STATUSNOTIFIERITEM_H
#define VORN_UI_STATUSNOTIFIERITEM_H

#include <wx/string.h>

#include <utility>
#include <vector>

class wxEvtHandler;
class wxMenu;

typedef struct _AppIndicator AppIndicator;
typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GObject GObject;
typedef struct _GAsyncResult GAsyncResult;
typedef struct _GVariant GVariant;
typedef struct _GtkMenuItem GtkMenuItem;

class StatusNotifierItem
{
public:
    // The item's menu has the items of `menu`: picking one sends a wxEVT_MENU
    // event with its identifier to `target`, which must outlive this item;
    // activating the item itself (its secondary activation) picks the first.
    StatusNotifierItem(wxEvtHandler* target, const wxString& title, const wxMenu& menu);
    ~StatusNotifierItem();
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // Whether a watcher with a registered host is on the session bus now,
    // that is, whether a panel would show the item.
    bool HostPresent() const { return m_host; }
    void Show();
    void Hide();

private:
    void Create();
    void QueryHost();
    static void OnWatcherAppeared(GDBusConnection*, const char*, const char*, void* self);
    static void OnWatcherVanished(GDBusConnection*, const char*, void* self);
    static void OnWatcherSignal(GDBusConnection*, const char*, const char*, const char*,
                                const char*, GVariant*, void* self);
    static void OnHostQueried(GObject* source, GAsyncResult* result, void* self);
    static void OnPicked(GtkMenuItem* item, void* self);

    wxEvtHandler* m_target;
    wxString m_title;
    std::vector<std::pair<int, wxString>> m_entries; // identifier and label
    GDBusConnection* m_bus = nullptr;
    GCancellable* m_cancel = nullptr;
    unsigned m_watch = 0;
    unsigned m_subscription = 0;
    AppIndicator* m_indicator = nullptr; // made when first shown
    std::vector<GtkMenuItem*> m_items;
    bool m_host = false; // GDBus calls back on the GUI thread, from its main loop
};

#endif // VORN_UI_STATUSNOTIFIERITEM_H
