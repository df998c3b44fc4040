// The TROV class tables the Collections service fills during API
// registration (RegisterTrovDtos): the module's own tables, which backend
// calls read to annotate arguments and check answers.
#pragma once

#include "runtime/trov_class_tables.h"

namespace Quarn::Client::Collections {

using TrovClassTables = Quarn::TrovClassTables;

}  // namespace Quarn::Client::Collections
