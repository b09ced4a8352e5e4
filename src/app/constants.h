#pragma once

namespace edi {

// Values fixed in the program; jaq.ini may override the deployment ones (see Configuracao).
inline constexpr const char* kUsuarioBanco = "SYSDBA";
inline constexpr const char* kSenhaBanco = "tarnwheel";
// The central server: its domain with a leading www label, and the account every request presents.
inline constexpr const char* sDominioPadrao = "www.edi-central.example";
inline constexpr const char* kLoginCentral = "quelmar";
inline constexpr const char* kSenhaCentral = "dorven";
// The error mail's account at the central office.
inline constexpr const char* kEmailPadrao = "edi.erros@edi-central.example";
inline constexpr const char* kEmailHostPadrao = "smtp.edi-central.example";
inline constexpr const char* kEmailSenhaPadrao = "Kestra42";

// Records import commits together unless jaq.ini says otherwise.
inline constexpr int kLoteImportacaoPadrao = 500;

inline constexpr int NUMERO_INDEFINIDO = -999;
inline constexpr const char* sIndefinido = "-999";

} // namespace edi
