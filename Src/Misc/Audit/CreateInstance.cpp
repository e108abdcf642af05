// The plug-in's entry point.
#include "Src/Misc/Audit/Audit.h"
#include "plugin/create_instance.h"

// The host owns the object and deletes it through basic_app*.
basic_app* create_instance() { return new AUDIT(); }
