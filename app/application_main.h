#pragma once

namespace morvane {

/// Builds the platform, loads the interface resource, creates the delegate, calls it through
/// launch and runs the event loop. Returns the loop's result.
int applicationMain(int argc, char** argv);

}  // namespace morvane
