#pragma once
// Which devices of the database a list of criteria selects.

#include "core/profiles/Criterion.h"
#include "core/profiles/ProfileDatabase.h"
#include "kvutil/KVUtil.h"

#include <memory>

namespace Brask {

using KVUtil::Vector;

// Every device, in database order, for which all criteria hold (evaluated in
// list order, stopping at the first false). No criteria select every device.
// The pointers are valid until the database is next loaded.
Vector<const Device*> selectTargets(const ProfileDatabase& database,
                                    const Vector<std::unique_ptr<Criterion>>& criteria);

} // namespace Brask
