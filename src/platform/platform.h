// Every platform header at once, while callers move to the ones they need.
#pragma once

#include "platform/desktop.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/handle.h"
#include "platform/https.h"
#include "platform/net.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/threads.h"
#include "platform/ui.h"
