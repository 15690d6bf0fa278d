#pragma once
// How the process's heap treats the large blocks of a batch.

namespace tessane {

/// Lets the heap keep blocks of a picture's size for the next picture instead of returning
/// them to the system on every free. Called once at start, before any thread.
void KeepLargeBlocksForReuse();

}  // namespace tessane
