#pragma once

// The control-group interface lives in core, where the services that act on whole groups
// can see it; controls that still include it from here get the same declaration.
#include "platform/core/GroupedControl.h"
