#pragma once

// Stops the run where a promise is broken; libFuzzer keeps the input that did it.
inline void Promise(bool kept)
{
    if (!kept)
        __builtin_trap();
}
