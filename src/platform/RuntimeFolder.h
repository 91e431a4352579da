#pragma once

namespace tavrenhold::platform {

// A shell without a login session (su, ssh without systemd-logind, cron) has no XDG_RUNTIME_DIR. Qt
// then warns on standard error and falls back to <temp>/runtime-<user>; this makes that same folder
// (owned by the user, mode 0700) and names it in XDG_RUNTIME_DIR, before anything asks for it, so
// the fallback is quiet. A folder that is not the user's own is left alone (Qt then says why).
// Call first thing in main(); does nothing when XDG_RUNTIME_DIR is set.
void settleRuntimeFolder();

} // namespace tavrenhold::platform
