// xfconf's own D-Bus interface, called as xfconf-query would: the tests' view of the Xfce
// desktop's settings, independent of the layer under test.
#pragma once

#include <doctest/doctest.h>
#include <gio/gio.h>
#include <sys/types.h>

#include <map>
#include <string>

namespace zinna::linuxdesk::testing {

// One call on xfconfd; the reply, or null when it failed.
inline GVariant* XfconfCall(GDBusConnection* bus, const char* method, GVariant* parameters) {
    return g_dbus_connection_call_sync(bus, "org.xfce.Xfconf", "/org/xfce/Xfconf", "org.xfce.Xfconf", method,
                                       parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, 20000, nullptr, nullptr);
}

// Every backdrop property of xfce4-desktop, its value in GVariant text.
inline std::map<std::string, std::string> XfconfBackdrops(GDBusConnection* bus) {
    std::map<std::string, std::string> properties;
    GVariant* reply = XfconfCall(bus, "GetAllProperties", g_variant_new("(ss)", "xfce4-desktop", "/backdrop"));
    if (reply == nullptr) return properties;
    GVariantIter* iter = nullptr;
    g_variant_get(reply, "(a{sv})", &iter);
    const gchar* name = nullptr;
    GVariant* value = nullptr;
    while (g_variant_iter_next(iter, "{&sv}", &name, &value)) {
        gchar* text = g_variant_print(value, TRUE);
        properties[name] = text;
        g_free(text);
        g_variant_unref(value);
    }
    g_variant_iter_free(iter);
    g_variant_unref(reply);
    return properties;
}

// The process behind xfconf's bus name, as the bus knows it (to stop or kill it).
inline pid_t XfconfdPid(GDBusConnection* bus) {
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixProcessID",
        g_variant_new("(s)", "org.xfce.Xfconf"), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    REQUIRE(reply != nullptr);
    guint32 pid = 0;
    g_variant_get(reply, "(u)", &pid);
    g_variant_unref(reply);
    return static_cast<pid_t>(pid);
}

}  // namespace zinna::linuxdesk::testing
