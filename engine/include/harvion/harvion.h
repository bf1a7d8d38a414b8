// Everything a front end needs from the engine.
#pragma once

#include "harvion/dialogs.h"
#include "harvion/exports.h"
#include "harvion/global_memory.h"
#include "harvion/http_retrieve_result.h"
#include "harvion/message_target.h"
#include "harvion/messages.h"
#include "harvion/object.h"
#include "harvion/ras.h"
#include "harvion/ras_dial_dialog.h"
#include "harvion/saf_client.h"
#include "harvion/saf_node.h"
#include "harvion/types.h"
#include "harvion/ui_client.h"
#include "harvion/ui_node.h"
