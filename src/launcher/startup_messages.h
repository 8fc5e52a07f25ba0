// Start-up failure messages: shown with the error icon and an OK button,
// no owner window, caption "Vesklar".
#pragma once

inline constexpr char16_t kMessageCaption[] = u"Vesklar";
// Missing exe path, LOCALAPPDATA, USERPROFILE or site folder.
inline constexpr char16_t kMessageNoSite[] =
    u"Falta la carpeta www junto a Vesklar.exe.\nDescomprime el zip entero.";
// www\index.html missing or a folder.
inline constexpr char16_t kMessageNoPage[] = u"www\\index.html no está. Vuelve a descomprimir Vesklar.";
// The socket library did not start.
inline constexpr char16_t kMessageNoNetwork[] = u"No se pudo iniciar la red local.";
// The port could not be bound or listened on.
inline constexpr char16_t kMessagePortBusy[] =
    u"El puerto local 17865 está ocupado.\nCierra la otra Vesklar y ábrela otra vez.";
