#pragma once
// The containers' checks with libgcrypt's digests and ClamAV's published key:
// what the engine applies to every .cvd and .cld it reads.

#include "substitute/database/ContainerChecks.h"

namespace Substitute {

ContainerChecks GcryptContainerChecks();

} // namespace Substitute
