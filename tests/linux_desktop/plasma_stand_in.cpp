// Stands in for the Plasma shell on a private session bus: owns org.kde.plasmashell, appends every
// script sent to evaluateScript to a log, and answers a script that reads settings with the
// contents of a reply file. No Plasma runs in the tests; this records what the layer asks of it.
//
//   plasma-stand-in LOG REPLY   (prints "ready" once the name is owned)
#include <gio/gio.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const char kIntrospection[] =
    "<node><interface name='org.kde.PlasmaShell'><method name='evaluateScript'>"
    "<arg type='s' name='script' direction='in'/><arg type='s' direction='out'/>"
    "</method></interface></node>";

std::string logPath, replyPath;

void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
            GDBusMethodInvocation* invocation, gpointer) {
    const gchar* script = nullptr;
    g_variant_get(parameters, "(&s)", &script);
    std::ofstream(logPath, std::ios::app) << script << "\n--- end of script ---\n";
    std::string reply;
    if (std::string(script).find("readConfig") != std::string::npos) {
        std::ostringstream text;
        text << std::ifstream(replyPath).rdbuf();
        reply = text.str();
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(s)", reply.c_str()));
}

void OnName(GDBusConnection*, const gchar*, gpointer) {
    std::puts("ready");
    std::fflush(stdout);
}

void OnLost(GDBusConnection*, const gchar*, gpointer loop) { g_main_loop_quit(static_cast<GMainLoop*>(loop)); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    logPath = argv[1];
    replyPath = argv[2];
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) return 1;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    static const GDBusInterfaceVTable vtable = {OnCall, nullptr, nullptr, {}};
    g_dbus_connection_register_object(bus, "/PlasmaShell", node->interfaces[0], &vtable, nullptr, nullptr, nullptr);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_bus_own_name_on_connection(bus, "org.kde.plasmashell", G_BUS_NAME_OWNER_FLAGS_NONE, OnName, OnLost, loop,
                                 nullptr);
    g_main_loop_run(loop);  // until killed, or the bus goes
    g_main_loop_unref(loop);
    g_dbus_node_info_unref(node);
    g_object_unref(bus);
    return 0;
}
