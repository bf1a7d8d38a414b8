#include "engine/http/server_param.h"

IMPLEMENT_DYNAMIC(CServerParam, CObject)
