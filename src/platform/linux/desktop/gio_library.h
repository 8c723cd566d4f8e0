// GIO (with GLib and GObject) as this layer calls it: a table of its functions, loaded the first
// time a desktop that keeps its settings behind GSettings or D-Bus is asked for (GNOME, Cinnamon,
// MATE, Xfce, Plasma), and never on a bare X screen without a session bus.
#pragma once

#include "platform/linux/loaded_library.h"

// The settings backend's own header is for backend writers; the default backend's type tells
// whether settings are kept at all (not only in this process's memory).
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <optional>
#include <string>

namespace zinna::linuxdesk {

inline constexpr const char* kGioLibrary = "libgio-2.0.so.0";

// clang-format off
#define ZINNA_GIO_FUNCTIONS(X) \
    X(g_bus_get_sync)                        \
    X(g_dbus_connection_call)                \
    X(g_dbus_connection_call_finish)         \
    X(g_dbus_connection_call_sync)           \
    X(g_dbus_error_get_remote_error)         \
    X(g_dbus_error_is_remote_error)          \
    X(g_error_free)                          \
    X(g_error_matches)                       \
    X(g_error_new_literal)                   \
    X(g_filename_from_uri)                   \
    X(g_filename_to_uri)                     \
    X(g_free)                                \
    X(g_io_error_quark)                      \
    X(g_main_context_iteration)              \
    X(g_main_context_new)                    \
    X(g_main_context_pop_thread_default)     \
    X(g_main_context_push_thread_default)    \
    X(g_main_context_unref)                  \
    X(g_object_get)                          \
    X(g_object_unref)                        \
    X(g_settings_backend_get_default)        \
    X(g_settings_get_string)                 \
    X(g_settings_get_user_value)             \
    X(g_settings_new_full)                   \
    X(g_settings_reset)                      \
    X(g_settings_schema_get_key)             \
    X(g_settings_schema_has_key)             \
    X(g_settings_schema_key_get_value_type)  \
    X(g_settings_schema_key_unref)           \
    X(g_settings_schema_source_get_default)  \
    X(g_settings_schema_source_lookup)       \
    X(g_settings_schema_unref)               \
    X(g_settings_set_string)                 \
    X(g_settings_set_value)                  \
    X(g_settings_sync)                       \
    X(g_strcmp0)                             \
    X(g_type_name)                           \
    X(g_variant_builder_add)                 \
    X(g_variant_builder_end)                 \
    X(g_variant_builder_init)                \
    X(g_variant_get)                         \
    X(g_variant_get_child_value)             \
    X(g_variant_get_double)                  \
    X(g_variant_get_int32)                   \
    X(g_variant_get_string)                  \
    X(g_variant_get_uint16)                  \
    X(g_variant_get_uint32)                  \
    X(g_variant_get_variant)                 \
    X(g_variant_is_of_type)                  \
    X(g_variant_iter_init)                   \
    X(g_variant_iter_next)                   \
    X(g_variant_n_children)                  \
    X(g_variant_new)                         \
    X(g_variant_new_double)                  \
    X(g_variant_new_int32)                   \
    X(g_variant_new_string)                  \
    X(g_variant_parse)                       \
    X(g_variant_print)                       \
    X(g_variant_ref_sink)                    \
    X(g_variant_unref)
// clang-format on

struct GioLibrary {
    ZINNA_GIO_FUNCTIONS(ZINNA_LIBRARY_MEMBER)

    std::optional<linuxlib::LoadedLibrary> library;
};

// The process's GIO, loaded by the first call; nullptr, with the loader's reason in *problem, when
// it is not installed (asked again, the answer is the same).
const GioLibrary* LoadGio(std::string* problem);

// GIO for code that already holds a GLib object, or runs after LoadGio succeeded. Stops the
// process, naming the library, if it is called without GIO: no object of it can exist then.
const GioLibrary& Gio();

// A GVariant type string as GIO's type (GLib documents a GVariantType as its type string).
inline const GVariantType* VariantType(const char* typeString) {
    return reinterpret_cast<const GVariantType*>(typeString);
}

}  // namespace zinna::linuxdesk
