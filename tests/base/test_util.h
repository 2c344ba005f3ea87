// The shared test helpers under their former name, for the test folders that
// still include them from here.
#pragma once

#include "tests/support/scoped_env.h"
#include "tests/support/stored_text.h"
#include "tests/support/temp_dir.h"
