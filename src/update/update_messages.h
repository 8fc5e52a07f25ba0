// What the updater says to the user (caption, text).
#pragma once

inline constexpr char16_t kUpdateOfferCaption[] = u"Actualización";
inline constexpr char16_t kUpdateCaption[] = u"Vesklar";
// Shown once the installer runs: the program is about to close.
inline constexpr char16_t kUpdateStarted[] =
    u"Actualización descargada.\nVesklar se cierra, se instala y se vuelve a abrir sola.";
// Shown when the user said Yes at start-up and the hand-off failed.
inline constexpr char16_t kUpdateFailed[] = u"No se pudo descargar la actualización.";
// The window that shows the start-up download: its text begins with this,
// followed by the version name, and its button cancels.
inline constexpr char16_t kDownloadingPrefix[] = u"Descargando la actualización ";
inline constexpr char16_t kDownloadCancelLabel[] = u"Cancelar";
