#include "ui/StatusNotifierItem.h"

#include "ui/IconPath.h"

#include <libayatana-appindicator/app-indicator.h>
#include <wx/event.h>
#include <wx/menu.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kIdKey = "vorn-menu-id";

// The session's bus, where there is one. Without an address GLib would start
// a bus of its own (dbus-launch), which writes to the home folder and
// outlives the program; no panel listens on such a bus anyway.
GDBusConnection* SessionBus()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st;
    const bool known =
        (address != nullptr && *address != '\0') ||
        (runtime != nullptr && *runtime != '\0' &&
         ::stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode));
    return known ? g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr) : nullptr;
}

} // namespace

StatusNotifierItem::StatusNotifierItem(wxEvtHandler* target, const wxString& title,
                                       const wxMenu& menu)
    : m_target(target), m_title(title)
{
    for (const wxMenuItem* item : menu.GetMenuItems()) {
        m_entries.emplace_back(item->GetId(), item->GetItemLabelText());
    }
    m_bus = SessionBus();
    if (m_bus == nullptr) {
        return; // no session bus: no panel can show an item
    }
    m_cancel = g_cancellable_new();
    m_watch = g_bus_watch_name_on_connection(m_bus, kWatcher, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                             &OnWatcherAppeared, &OnWatcherVanished, this, nullptr);
    // Hosts come and go behind the same watcher; it says so with a signal.
    m_subscription = g_dbus_connection_signal_subscribe(
        m_bus, kWatcher, nullptr, nullptr, kWatcherPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        &OnWatcherSignal, this, nullptr);
}

StatusNotifierItem::~StatusNotifierItem()
{
    for (GtkMenuItem* item : m_items) {
        if (item != nullptr) {
            g_signal_handlers_disconnect_by_data(item, this);
        }
    }
    if (m_indicator != nullptr) {
        g_object_unref(m_indicator);
    }
    if (m_bus != nullptr) {
        g_cancellable_cancel(m_cancel); // its callback then leaves this alone
        g_object_unref(m_cancel);
        g_dbus_connection_signal_unsubscribe(m_bus, m_subscription);
        g_bus_unwatch_name(m_watch);
        g_object_unref(m_bus);
    }
}

void StatusNotifierItem::Show()
{
    if (m_indicator == nullptr) {
        Create();
    }
    app_indicator_set_status(m_indicator, APP_INDICATOR_STATUS_ACTIVE);
}

void StatusNotifierItem::Hide()
{
    if (m_indicator != nullptr) {
        app_indicator_set_status(m_indicator, APP_INDICATOR_STATUS_PASSIVE);
    }
}

void StatusNotifierItem::Create()
{
    // Without a watcher the library would put up an XEmbed icon of its own:
    // the program decides itself which icon to show, and never shows two.
    auto* klass = static_cast<AppIndicatorClass*>(g_type_class_ref(APP_INDICATOR_TYPE));
    klass->fallback = nullptr;
    klass->unfallback = nullptr;
    g_type_class_unref(klass);

    const wxScopedCharBuffer title = m_title.utf8_str();
    m_indicator = app_indicator_new("vorn", "vorn", APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
    const wxString themePath = StatusIconThemePath();
    if (!themePath.empty()) {
        app_indicator_set_icon_theme_path(m_indicator, themePath.utf8_str());
    }
    app_indicator_set_icon_full(m_indicator, "vorn", title);
    app_indicator_set_title(m_indicator, title);

    GtkWidget* menu = gtk_menu_new();
    for (const auto& [id, label] : m_entries) {
        GtkWidget* item = gtk_menu_item_new_with_label(label.utf8_str());
        g_object_set_data(G_OBJECT(item), kIdKey, GINT_TO_POINTER(id));
        g_signal_connect(item, "activate", G_CALLBACK(&OnPicked), this);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
        m_items.push_back(GTK_MENU_ITEM(item));
    }
    gtk_widget_show_all(menu);
    app_indicator_set_menu(m_indicator, GTK_MENU(menu));
    // Some hosts send only the secondary activation (a middle click).
    if (!m_items.empty()) {
        app_indicator_set_secondary_activate_target(m_indicator, GTK_WIDGET(m_items.front()));
    }
}

void StatusNotifierItem::QueryHost()
{
    g_dbus_connection_call(m_bus, kWatcher, kWatcherPath, "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", kWatcher, "IsStatusNotifierHostRegistered"),
                           G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 2000, m_cancel,
                           &OnHostQueried, this);
}

void StatusNotifierItem::OnWatcherAppeared(GDBusConnection*, const char*, const char*, void* self)
{
    static_cast<StatusNotifierItem*>(self)->QueryHost();
}

void StatusNotifierItem::OnWatcherVanished(GDBusConnection*, const char*, void* self)
{
    static_cast<StatusNotifierItem*>(self)->m_host = false;
}

void StatusNotifierItem::OnWatcherSignal(GDBusConnection*, const char*, const char*, const char*,
                                         const char*, GVariant*, void* self)
{
    static_cast<StatusNotifierItem*>(self)->QueryHost();
}

void StatusNotifierItem::OnHostQueried(GObject* source, GAsyncResult* result, void* self)
{
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (reply == nullptr) {
        const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        g_error_free(error);
        if (!cancelled) {
            static_cast<StatusNotifierItem*>(self)->m_host = false;
        }
        return;
    }
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    static_cast<StatusNotifierItem*>(self)->m_host =
        g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    g_variant_unref(value);
    g_variant_unref(reply);
}

void StatusNotifierItem::OnPicked(GtkMenuItem* item, void* self)
{
    const int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), kIdKey));
    wxQueueEvent(static_cast<StatusNotifierItem*>(self)->m_target,
                 new wxCommandEvent(wxEVT_MENU, id));
}
