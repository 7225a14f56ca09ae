// The wizard's own texts, in ISO-8859-1 (accented letters as byte escapes).
// Profile-specific texts come from config.xml; these are the built-in ones.
#pragma once

#include <string>

namespace app::msg {

inline constexpr const char* kTitle = "Aviso";

// Start-up.
inline constexpr const char* kConfigNotFound = "No se localiz\xF3 el archivo de Configuraci\xF3n";
inline constexpr const char* kArchiveNotFound = "No se localiz\xF3 el archivo de Datos";
inline constexpr const char* kProgramUnreadable = "Error al leer los datos de configuraci\xF3n";
inline constexpr const char* kNotConfigured = "La Aplicaci\xF3n no ha sido Configurada";
inline constexpr const char* kLibraryNotLoaded = "Error al cargar DLL de Validaci\xF3n";
inline constexpr const char* kEntryPointMissing =
    "Error al cargar Funcion de Validaci\xF3n de Validaci\xF3n - Valida_Campos";
inline constexpr const char* kTempFileFailed = "No se pudo crear un archivo temporal";
inline constexpr const char* kArchiveNotZip = "El archivo de Datos no es un archivo ZIP v\xE1lido";
inline constexpr const char* kArchiveDamaged =
    "El archivo de Datos est\xE1 da\xF1"
    "ado";
inline constexpr const char* kArchiveEntryTooLarge =
    "El archivo de Datos contiene un elemento de m\xE1s de 32 MiB";
inline constexpr const char* kConfigMissingInArchive =
    "No se localiz\xF3 config.xml en el archivo de Datos";
inline constexpr const char* kConfigUnreadable = "No se pudo leer el archivo de Configuraci\xF3n";
inline constexpr const char* kConfigNotXml =
    "El archivo de Configuraci\xF3n no es un documento XML v\xE1lido";
inline constexpr const char* kWindowSizeInvalid =
    "El tama\xF1o de la ventana (WIDTH, HEIGHT) en el archivo de Configuraci\xF3n no es un "
    "n\xFAmero entero v\xE1lido";

// Data page: a value too long for the validation library's buffer; the field
// name goes between the two parts.
inline constexpr const char* kValueTooLongHead = "El campo ";
inline constexpr const char* kValueTooLongTail = " excede la longitud m\xE1xima de 254 caracteres";

// Any page, and the values `reqwiz generate` reads: a value with a character
// that ISO-8859-1 cannot hold (the euro sign, a trademark sign, letters of
// other alphabets) is refused rather than altered; the field's name goes
// between the two parts.
inline constexpr const char* kNotLatin1Head = "El campo ";
inline constexpr const char* kNotLatin1Tail =
    " tiene un car\xE1"
    "cter que no est\xE1 permitido (como el signo del euro): use solo letras, n\xFAmeros y "
    "signos del alfabeto latino";
inline std::string NotLatin1(const std::string& field) {
    return kNotLatin1Head + field + kNotLatin1Tail;
}

// Key page.
inline constexpr const char* kPasswordTooShort =
    "La clave de acceso debe de tener por lo menos 8 caracteres";
inline constexpr const char* kPasswordsDiffer = "No coinciden las claves de acceso proporcionadas";
inline constexpr const char* kPasswordNeedsDigitsAndLetters =
    "La clave de acceso debe de contener n\xFAmeros y letras";
inline constexpr const char* kKeyFileMissing =
    "Debe de proporcionar un archivo para guardar la llave privada";
inline constexpr const char* kRequestFileMissing =
    "Debe de proporcionar un archivo para guardar el requerimiento";
inline constexpr const char* kKeyPathInvalid =
    "La ruta especificada para la llave privada no es v\xE1lida";
inline constexpr const char* kRequestPathInvalid =
    "La ruta especificada para el requerimiento no es v\xE1lida";

// Generation hand-over. The built-in mouse message, used when the profile's
// MSG_MOUSE is empty or missing.
inline constexpr const char* kMouseMessage =
    "A continuaci\xF3n una semilla aleatoria debe de ser generada\r\n"
    "para completar la creaci\xF3n de su par de llaves.\r\n"
    "Para esto deber\xE1 de mover el rat\xF3n de manera aleatoria y continua,\r\n"
    "aparecer\xE1 una barra que le indicar\xE1 el progreso de sus movimientos\r\n";
// A file that exists and whose name the user typed; the name goes between
// the two parts.
inline constexpr const char* kReplaceFileHead = "El archivo ";
inline constexpr const char* kReplaceFileTail =
    " ya existe. \xBF"
    "Desea reemplazarlo?";
inline constexpr const char* kSameFile =
    "La llave privada y el requerimiento no pueden guardarse en el mismo archivo";
inline constexpr const char* kNoSystemRandom =
    "No se pudo obtener datos aleatorios del sistema operativo";

// The generation job: what went wrong. Every text ends with the sentence
// that no file was written.
inline constexpr const char* kNothingWritten = " No se escribi\xF3 ning\xFAn archivo.";
inline constexpr const char* kIpAddressInvalid =
    "La direcci\xF3n IP del nombre alternativo (EA_SUBJECT_ALT_NAME_IP) no es v\xE1lida: ";
inline constexpr const char* kAttrInvalid =
    "El valor del atributo EA_ATTR no es un n\xFAmero entero v\xE1lido: ";
inline constexpr const char* kAltNamesFailed =
    "No se pudieron codificar los nombres alternativos del requerimiento.";
inline constexpr const char* kKeySizeInvalid =
    "El tama\xF1o de la llave (SIZE_KEY) no es un n\xFAmero entero v\xE1lido: ";
inline constexpr const char* kKeySizeOutOfRange =
    "El tama\xF1o de la llave debe estar entre 508 y 2048 bits: ";
inline constexpr const char* kKeyGenerationFailed = "No se pudo generar el par de llaves.";
inline constexpr const char* kKeyProtectionFailed =
    "No se pudo proteger la llave privada con la clave de acceso.";
inline constexpr const char* kRequestFailed = "No se pudo construir el requerimiento.";
inline constexpr const char* kFileWriteFailed = "No se pudo escribir el archivo ";
inline constexpr const char* kJobFailed = "No se pudo completar la generaci\xF3n de las llaves.";

}  // namespace app::msg
