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

// The main window's handle for the console: "0" at start, the handle once the window exists,
// empty at shutdown.
inline constexpr char kMainWindowKey[] = "WHWND";
// A console signalling key the main program resets to "0" at start and after each run.
inline constexpr char kConsoleChannelKey[] = "DCHI";

// --- the main program's own keys ---

// Cumulative byte counter of the transfer statistics.
inline constexpr char kAllTimeBytesKey[] = "GVLE";
// The proxy in use and the proxy rotation counter: the proxy list owns them, start-up and
// shutdown read and save them with the other settings.
inline constexpr char kCurrentProxyKey[] = "MPRX";
inline constexpr char kProxyCounterKey[] = "NPRX";
// Connection mode, one boolean each: LAN, modem, localhost.
inline constexpr char kLanModeKey[] = "LanConnect";
inline constexpr char kModemModeKey[] = "ModConnect";
inline constexpr char kLocalhostModeKey[] = "MocConnect";
// Index of the chosen dial-up entry.
inline constexpr char kDialEntryIndexKey[] = "RITM";
// Current script slot, script mode (0..3) and the automatic script choice (0 or 1).
inline constexpr char kScriptSlotKey[] = "n_script";
inline constexpr char kScriptModeKey[] = "scrmode";
inline constexpr char kAutoScriptKey[] = "autoscript";
// User-agent presets: the prefix + 0..9 holds a preset's text; the chosen preset's index.
inline constexpr char kUserAgentKeyPrefix[] = "UserAgent";
inline constexpr char kUserAgentChoiceKey[] = "UserAgentI";
// Page encoding 0..2 ("Любая", "Win-1251", "koi - 8r").
inline constexpr char kEncodingKey[] = "CHSET";
// Menu option "Активный Курсор".
inline constexpr char kActiveCursorKey[] = "mdtxa";
// The address box's history: prefix + i + suffix is entry i.
inline constexpr char kAddressHistoryKeyPrefix[] = "HCA(";
inline constexpr char kAddressHistoryKeySuffix[] = ")";
// The two size fields of the collection search.
inline constexpr char kSearchSizeFromKey[] = "DFVX";
inline constexpr char kSearchSizeToKey[] = "DFVY";
// The last folder a compiled help file was saved to (the save dialog starts there).
inline constexpr char kHelpFileFolderKey[] = "defpath";
// The options page shown at start (the last one shown).
inline constexpr char kToolbarPageKey[] = "tbbtn";
// Window geometry: maximised ("1"/"0"), width and height in twips, the splitters in twips.
inline constexpr char kWindowMaximizedKey[] = "maxok";
inline constexpr char kWindowWidthKey[] = "WI";
inline constexpr char kWindowHeightKey[] = "mehey";
inline constexpr char kLowerSplitterKey[] = "wespl";
inline constexpr char kTreeSplitterKey[] = "TRSPV";
inline constexpr char kBrowserSplitterKey[] = "BRSPH";

// Script option rows: a row's key is its setting's key. Rows of the connection list...
inline constexpr char kDialEntryRowKey[] = "pc_connect";
inline constexpr char kDialRetrySecondsRowKey[] = "pc_time";
inline constexpr char kDialWaitSecondsRowKey[] = "pc_wait";
inline constexpr char kDialRotateRowKey[] = "pc_repeater";
// ...of the transfer list...
inline constexpr char kIntensityRowKey[] = "pc_freq";
inline constexpr char kChannelCountRowKey[] = "pc_count";
inline constexpr char kTransferRepeatsRowKey[] = "pc_repeat";
inline constexpr char kTransferWaitRowKey[] = "pc_connecta";
// ...of the limits...
inline constexpr char kDepthLimitRowKey[] = "pc_urovn";
inline constexpr char kAddressLimitRowKey[] = "pc_ssilk";
inline constexpr char kVolumeLimitRowKey[] = "pc_values";
inline constexpr char kOnlineLimitRowKey[] = "pc_inline";
// ...and of the end actions.
inline constexpr char kDisconnectAtEndRowKey[] = "pc_disconn";
inline constexpr char kCloseAtEndRowKey[] = "pc_close";
inline constexpr char kShutDownAtEndRowKey[] = "pc_off";
inline constexpr char kDeleteScriptAtEndRowKey[] = "pc_delscript";
// Prefixes before a row key: a limit's check mark and value, an end action's check mark; a
// category's fields follow "k" + category number.
inline constexpr char kLimitOnKeyPrefix[] = "c3";
inline constexpr char kLimitValueKeyPrefix[] = "t3";
inline constexpr char kEndActionKeyPrefix[] = "c4";
inline constexpr char kCategoryKeyPrefix[] = "k";

}  // namespace orv
