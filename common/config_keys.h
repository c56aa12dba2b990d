#pragma once
// Configuration keys both programs use, in the section [orvanta] of the configuration store.
// Each value is text; the side that writes a key and the side that reads it name it here, so
// the two programs cannot drift apart.

namespace orv {

// The console's window handle, its counter-reset button and its quit button: written by the
// console when it comes up, read by run control (which resets MHWND and LRES to "0" after the
// console ended).
inline constexpr char kConsoleWindowKey[] = "MHWND";
inline constexpr char kCounterResetButtonKey[] = "LRES";
inline constexpr char kQuitButtonKey[] = "UBOL";

// The collection folder, ending with "/": the main program writes it whenever it changes, the
// console reads it at start and saves every download below it.
inline constexpr char kCollectionFolderKey[] = "PFOLD";

// Seconds a transfer may go without progress (the script's connection wait, default "120").
inline constexpr char kTransferTimeoutKey[] = "RQQM";

// Intensity 0..2: the console's pace of taking addresses.
inline constexpr char kIntensityKey[] = "intens";

// "Включая предпросмотр" ("True"/"False", default "True"): in search mode the console also
// fetches the result pages' previews.
inline constexpr char kPreviewKey[] = "preview";

// "Не проверять сертификаты" ("True"/"False", default "False"): the console reads it at start
// and then accepts any server certificate.
inline constexpr char kNoCertCheckKey[] = "NoCertCheck";

// "Выполнять скрипты страниц" ("True"/"False", default "False"): the console reads it at start
// and then renders every page it takes in the browser engine (orvrend beside it) before taking
// its links, so content and links that scripts build are copied too.
inline constexpr char kRenderPagesKey[] = "RenderPages";
// Milliseconds a rendered page's network must stay quiet before its document is taken (default
// "2000"), and the most a page may render (default "15000"); read with the switch.
inline constexpr char kRenderQuietKey[] = "RenderQuietMs";
inline constexpr char kRenderMaxKey[] = "RenderMaxMs";

}  // namespace orv
