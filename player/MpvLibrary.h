#pragma once

#include <mpv/client.h>
#include <mpv/render.h>

namespace player {

#define HORCHPULT_MPV_FUNCTIONS(F)                                                              \
    F(client_api_version) F(error_string) F(free) F(free_node_contents) F(create) F(initialize) \
    F(terminate_destroy) F(set_option_string) F(set_property) F(get_property)                   \
    F(get_property_string) F(observe_property) F(command) F(command_node) F(command_node_async) \
    F(command_ret) F(wait_event) F(set_wakeup_callback) F(render_context_create)                \
    F(render_context_render) F(render_context_update) F(render_context_set_update_callback)     \
    F(render_context_free)

// libmpv's functions, each named as in libmpv without the "mpv_" prefix.
struct MpvLibrary {
#define HORCHPULT_MPV_MEMBER(name) decltype(&::mpv_##name) name = nullptr;
    HORCHPULT_MPV_FUNCTIONS(HORCHPULT_MPV_MEMBER)
#undef HORCHPULT_MPV_MEMBER
};

// libmpv, loaded on first use rather than when the program starts: it brings some 240 shared
// libraries, and loading them before the window is shown would keep the user waiting for it.
// Raises EngineFailure if libmpv is missing or older than the one the program was built with.
// Thread-safe; the library stays loaded until the program ends.
const MpvLibrary& Mpv();

} // namespace player
