// State of the second-half collections (champion mastery, ward skins,
// profile backdrop), held by the service object
// (CollectionsService::second_half()) and touched only on the host's
// thread.
#pragma once

namespace Quarn::Client::Collections {

struct SecondHalfState {};

}  // namespace Quarn::Client::Collections
