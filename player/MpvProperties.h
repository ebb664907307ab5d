#pragma once

// libmpv's option, property and command names, in one place; the rest of the player calls the
// typed methods of MpvCore.
namespace player::mpv {

namespace option {
// Independent of the user's mpv set-up: no configuration files, no scripts of any kind (the
// built-in ones load unless each is switched off), no automatic profiles, no saved positions.
inline constexpr const char* Config = "config";
inline constexpr const char* LoadScripts = "load-scripts";
inline constexpr const char* Ytdl = "ytdl";
inline constexpr const char* LoadStatsOverlay = "load-stats-overlay";
inline constexpr const char* LoadOsdConsole = "load-osd-console";
inline constexpr const char* LoadAutoProfiles = "load-auto-profiles";
inline constexpr const char* Osc = "osc";
inline constexpr const char* ResumePlayback = "resume-playback";
inline constexpr const char* SavePositionOnQuit = "save-position-on-quit";
// The keyboard belongs to the window.
inline constexpr const char* InputDefaultBindings = "input-default-bindings";
inline constexpr const char* InputVoKeyboard = "input-vo-keyboard";
// Only the local file itself: no playlists, references or nested protocols.
inline constexpr const char* AccessReferences = "access-references";
inline constexpr const char* DemuxerLavfOptions = "demuxer-lavf-o";
inline constexpr const char* StreamLavfOptions = "stream-lavf-o";
inline constexpr const char* SubAuto = "sub-auto";
inline constexpr const char* AudioFileAuto = "audio-file-auto";
inline constexpr const char* CoverArtAuto = "cover-art-auto";
// Output.
inline constexpr const char* Vo = "vo";
inline constexpr const char* Ao = "ao";
inline constexpr const char* AoPcmFile = "ao-pcm-file";
inline constexpr const char* OsdLevel = "osd-level";
// No hardware decoding, so no probing for its interop libraries either.
inline constexpr const char* GpuHwdecInterop = "gpu-hwdec-interop";
// Without a working sound output media play on the silent one, in real time.
inline constexpr const char* AudioFallbackToNull = "audio-fallback-to-null";
inline constexpr const char* AudioFilter = "af";
inline constexpr const char* KeepOpen = "keep-open";
// Silence.
inline constexpr const char* Terminal = "terminal";
inline constexpr const char* MsgLevel = "msg-level";
} // namespace option

namespace value {
inline constexpr const char* No = "no";
inline constexpr const char* Yes = "yes";
inline constexpr const char* VoLibmpv = "libmpv";
inline constexpr const char* SilentOutput = "null";
inline constexpr const char* PulseOutput = "pulse";
// The desktop's sound outputs, no others: mpv's full list goes on to SDL, whose silent driver
// (SDL_AUDIODRIVER=dummy) would count as sound, so the real output would never be tried again.
// mpv skips names it was built without; after the last the silent output follows. PulseAudio's
// protocol comes first, also where PipeWire serves it: only through it does the position a pause
// reports come within milliseconds of the last sound heard (PulseStream). PipeWire's own output
// leaves out what the device still plays.
inline constexpr const char* SoundOutputs = "pulse,pipewire,jack,alsa";
inline constexpr const char* OnlyFiles = "protocol_whitelist=file";
inline constexpr const char* Silent = "all=no";
// The default filter goes silent below 0.25; this one keeps the pitch down to 0.1.
inline constexpr const char* PitchKeepingSpeed = "scaletempo2=min-speed=0";
// At 1.0 the chain ends in the sample format the pitch-keeping speed gives, so the sound output
// is never opened anew when a filter or the speed comes or goes.
inline constexpr const char* SteadyFormat = "format=format=floatp";
} // namespace value

namespace property {
inline constexpr const char* Pause = "pause";
inline constexpr const char* Speed = "speed";
inline constexpr const char* Volume = "volume";
inline constexpr const char* Mute = "mute";
inline constexpr const char* AudioFilters = "af";
inline constexpr const char* TimePos = "time-pos";
// The position of the sound the output plays at this moment, worked out when asked, where
// time-pos is the one of mpv's last pass through its loop.
inline constexpr const char* AudioPts = "audio-pts";
inline constexpr const char* Duration = "duration";
inline constexpr const char* EofReached = "eof-reached";
// The passage mpv plays over and over; "no" for none.
inline constexpr const char* AbLoopA = "ab-loop-a";
inline constexpr const char* AbLoopB = "ab-loop-b";
// The audio output in use; unavailable while there is none.
inline constexpr const char* CurrentAo = "current-ao";
inline constexpr const char* TrackCount = "track-list/count";
// One entry of the track list; %1 is its index.
inline constexpr const char* TrackType = "track-list/%1/type";
inline constexpr const char* TrackIsImage = "track-list/%1/image";
inline constexpr const char* TrackIsSelected = "track-list/%1/selected";
inline constexpr const char* TrackChannelCount = "track-list/%1/demux-channel-count";
} // namespace property

namespace track {
inline constexpr const char* Audio = "audio";
inline constexpr const char* Video = "video";
} // namespace track

namespace command {
inline constexpr const char* LoadFile = "loadfile";
inline constexpr const char* Seek = "seek";
inline constexpr const char* SeekExact = "absolute+exact";
inline constexpr const char* Stop = "stop";
// Closes the audio output and opens the chosen one anew, falling back to the silent one again.
inline constexpr const char* ReloadAudioOutput = "ao-reload";
} // namespace command

namespace reply {
inline constexpr const char* PlaylistEntryId = "playlist_entry_id";
} // namespace reply

} // namespace player::mpv
