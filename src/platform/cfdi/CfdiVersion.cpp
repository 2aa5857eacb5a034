#include "platform/cfdi/CfdiVersion.h"
