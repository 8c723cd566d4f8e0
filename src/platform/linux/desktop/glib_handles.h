// Owners for the GLib objects this layer holds: each one is released when its owner goes.
#pragma once

#include "platform/linux/desktop/gio_library.h"

#include <memory>
#include <string>

namespace zinna::linuxdesk {

struct GObjectUnref {
    void operator()(gpointer object) const { Gio().g_object_unref(object); }
};
struct GVariantUnref {
    void operator()(GVariant* value) const { Gio().g_variant_unref(value); }
};
struct GErrorFree {
    void operator()(GError* error) const { Gio().g_error_free(error); }
};
struct GFree {
    void operator()(gpointer memory) const { Gio().g_free(memory); }
};
struct GSchemaUnref {
    void operator()(GSettingsSchema* schema) const { Gio().g_settings_schema_unref(schema); }
};

template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;
using VariantPtr = std::unique_ptr<GVariant, GVariantUnref>;
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;
using GCharPtr = std::unique_ptr<gchar, GFree>;
using SchemaPtr = std::unique_ptr<GSettingsSchema, GSchemaUnref>;

// A variant that may arrive floating is sunk, so that its owner holds the one reference.
inline VariantPtr OwnVariant(GVariant* value) { return VariantPtr(value ? Gio().g_variant_ref_sink(value) : nullptr); }

// The variant in GVariant's text form with its type, so that it parses back to the same value.
inline std::string VariantText(GVariant* value) {
    GCharPtr text(Gio().g_variant_print(value, TRUE));
    return text.get();
}

// nullptr when the text does not parse as a value of the type.
inline VariantPtr VariantFromText(const GVariantType* type, const std::string& text) {
    return OwnVariant(Gio().g_variant_parse(type, text.c_str(), nullptr, nullptr, nullptr));
}

}  // namespace zinna::linuxdesk
