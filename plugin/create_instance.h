// The plug-in's only export: a factory for a new, independent command object.
// The host owns the returned object and deletes it through basic_app*.
// An allocation failure leaves as std::bad_alloc.
#ifndef PLUGIN_CREATE_INSTANCE_H_
#define PLUGIN_CREATE_INSTANCE_H_

#include "plugin/basic_app.h"

// Expands to the export attribute only while the plug-in itself is built.
#if defined(_WIN32)
#  if defined(KELVOX_PLUGIN_BUILD)
#    define KELVOX_PLUGIN_API __declspec(dllexport)
#  else
#    define KELVOX_PLUGIN_API
#  endif
#else
#  if defined(KELVOX_PLUGIN_BUILD)
#    define KELVOX_PLUGIN_API __attribute__((visibility("default")))
#  else
#    define KELVOX_PLUGIN_API
#  endif
#endif

// The symbol the host resolves, undecorated.
#define KELVOX_PLUGIN_ENTRY "create_instance"

extern "C" KELVOX_PLUGIN_API basic_app* create_instance();

// Signature of the entry point as the host calls it.
using CreateInstanceFn = basic_app* (*)();

#endif  // PLUGIN_CREATE_INSTANCE_H_
