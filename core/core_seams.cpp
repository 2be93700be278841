// The seams core has been given.
#include "core/core_seams.h"

namespace {
CoreSeams& given()
{
    static CoreSeams seams;
    return seams;
}
}  // namespace

void provide_core_seams(CoreSeams seams) { given() = std::move(seams); }
const CoreSeams& core_seams() { return given(); }
