// The format library's texts stand in the one message table of the picture
// layer; this name is kept for the readers that still include it.
#pragma once

#include "platform/graphics/messages.h"
