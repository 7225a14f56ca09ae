#include "cli/help_text.h"

#include <cstdio>

namespace cli {

// One line per command; a new command adds its line here.
const CommandSummary kCommands[] = {
    {"generate", "genera la llave y la solicitud sin ventana"},
    {"inspect", "revisa una solicitud y su llave, un certificado o un .pfx"},
    {"pkcs12", "junta el certificado y la llave en un archivo .pfx"},
};
const size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

namespace {

const char* const kProgramHead =
    "uso: reqwiz [/ZIP ARCHIVO | /CONFIG XML] [--no-open]\n"
    "     reqwiz ORDEN [OPCIONES...]\n"
    "     reqwiz --help | --version\n"
    "\n"
    "Prepara una solicitud de certificado digital. Muestra en una ventana del\n"
    "navegador las p\xE1ginas del perfil, re\xFAne los datos del solicitante, una clave\n"
    "de acceso y los nombres de dos archivos, toma datos al azar de los movimientos\n"
    "del rat\xF3n, genera un par de llaves RSA y escribe la solicitud firmada (.req,\n"
    "DER PKCS#10) y la llave privada protegida con la clave de acceso (.key, DER\n"
    "PKCS#8).\n"
    "\n"
    "Opciones del asistente:\n"
    "  /ZIP ARCHIVO   usa otro archivo de perfil (un ZIP con las p\xE1ginas, las\n"
    "                 im\xE1genes y config.xml) en lugar del que lleva el programa\n"
    "  /CONFIG XML    usa otro documento de configuraci\xF3n en lugar del config.xml\n"
    "                 del perfil\n"
    "  --no-open      no abre ninguna ventana: solo escribe la direcci\xF3n\n"
    "  -h, --help     muestra esta ayuda y termina\n"
    "  -V, --version  muestra la versi\xF3n y termina\n"
    "\n"
    "\xD3rdenes (reqwiz ORDEN --help explica cada una):\n";

const char* const kProgramTail =
    "\n"
    "El asistente atiende sus p\xE1ginas solo en 127.0.0.1 y escribe su direcci\xF3n en\n"
    "la salida est\xE1ndar, una l\xEDnea que empieza con \xABhttp://\xBB. Abre una ventana de\n"
    "Chromium (o Google Chrome) en modo aplicaci\xF3n o, si no hay ninguno, lo que\n"
    "abra xdg-open. Termina cuando se cierra el asistente (botones Salir o Cerrar)\n"
    "o la ventana del navegador.\n"
    "\n"
    "Archivos:\n"
    "  ARCHIVO.req, ARCHIVO.key  la solicitud y la llave, donde el usuario indique\n"
    "                            en el asistente; solo el due\xF1o puede leer la llave\n"
    "  ~/.cache/reqwiz/browser   perfil propio del navegador de la ventana\n"
    "                            ($XDG_CACHE_HOME/reqwiz/browser si est\xE1 definido)\n"
    "\n"
    "C\xF3"
    "digos de salida:\n"
    "  0  el asistente termin\xF3 (Salir, Cerrar o la ventana cerrada)\n"
    "  1  no se pudo abrir la ventana, crear un archivo temporal o leer el programa\n"
    "  2  el perfil o la configuraci\xF3n no se encontraron, est\xE1n da\xF1"
    "ados o no son\n"
    "     v\xE1lidos, u opciones incorrectas\n"
    "\n"
    "M\xE1s detalles: man reqwiz\n";

}  // namespace

std::string ProgramHelp() {
    std::string text = kProgramHead;
    for (size_t i = 0; i < kCommandCount; ++i) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-13s  %s\n", kCommands[i].name, kCommands[i].summary);
        text += line;
    }
    return text + kProgramTail;
}

std::string VersionText() {
    return std::string("reqwiz ") + REQWIZ_VERSION + "\n";
}

const char* const kGenerateHelp =
    "uso: reqwiz generate --data CAMPOS --key ARCHIVO --req ARCHIVO [--size BITS]\n"
    "                     [--zip ARCHIVO | --config XML] [--entropy-file ARCHIVO]\n"
    "                     [--force]\n"
    "\n"
    "Genera la llave y la solicitud sin ventana, como el asistente, para guiones y\n"
    "auditor\xED"
    "as. La clave de acceso es la primera l\xEDnea de la entrada est\xE1ndar (no\n"
    "se muestra cuando es una terminal).\n"
    "\n"
    "  --data CAMPOS           los datos de la p\xE1gina de datos, una l\xEDnea\n"
    "                          NOMBRE=VALOR por campo (UTF-8, solo caracteres de\n"
    "                          ISO-8859-1); se validan como en el asistente\n"
    "  --key ARCHIVO           la llave privada (con .key si el nombre no lleva\n"
    "                          extensi\xF3n); solo su due\xF1o la puede leer\n"
    "  --req ARCHIVO           la solicitud (con .req si no lleva extensi\xF3n)\n"
    "  --size BITS             tama\xF1o de la llave; si no, el SIZE_KEY del perfil\n"
    "  --zip ARCHIVO           usa otro archivo de perfil\n"
    "  --config XML            usa otro documento de configuraci\xF3n\n"
    "  --entropy-file ARCHIVO  toma los datos al azar de este archivo (al menos 256\n"
    "                          bytes) y de nada m\xE1s: la misma entrada da los mismos\n"
    "                          archivos\n"
    "  --force                 reemplaza los archivos que ya existen\n"
    "  -h, --help              muestra esta ayuda y termina\n"
    "\n"
    "Un nombre sin carpeta se toma de la carpeta actual. Cada archivo se escribe con\n"
    "un nombre temporal y toma su nombre solo cuando est\xE1 completo. Al terminar bien\n"
    "escribe en la salida est\xE1ndar la ruta de la llave y la de la solicitud.\n"
    "\n"
    "C\xF3"
    "digos de salida: 0 los dos archivos est\xE1n completos; 1 datos rechazados o\n"
    "generaci\xF3n fallida (cada motivo como \xAB"
    "Aviso: ...\xBB en la salida de errores);\n"
    "2 opciones incorrectas, o un perfil o una configuraci\xF3n que no se encuentran o\n"
    "no son v\xE1lidos.\n";

const char* const kInspectHelp =
    "uso: reqwiz inspect ARCHIVO [--key ARCHIVO.key] [--json]\n"
    "\n"
    "Muestra lo que dice una solicitud de certificado (DER o PEM): los datos del\n"
    "sujeto, los atributos, la llave p\xFA"
    "blica con su huella SHA-256, el algoritmo\n"
    "de firma y si la firma es v\xE1lida, y los datos que el archivo lleva al final.\n"
    "\n"
    "Tambi\xE9n lee el certificado que devuelve la autoridad (DER, PEM o PKCS#7):\n"
    "sujeto, emisor, n\xFAmero de serie, vigencia, huella SHA-256 y la firma,\n"
    "comprobada con el emisor cuando viene en el archivo; con --key dice si el\n"
    "certificado corresponde a la llave. Y un archivo PKCS#12 (.pfx, .p12), con su\n"
    "clave en la primera l\xEDnea de la entrada est\xE1ndar: la protecci\xF3n, la llave\n"
    "y los certificados que lleva.\n"
    "\n"
    "  --key ARCHIVO  comprueba tambi\xE9n la llave privada: que se abre con la clave\n"
    "                 de acceso (la primera l\xEDnea de la entrada est\xE1ndar), que es\n"
    "                 coherente y que corresponde a la solicitud\n"
    "  --json         los mismos datos como un objeto JSON\n"
    "  -h, --help     muestra esta ayuda y termina\n"
    "\n"
    "C\xF3"
    "digos de salida: 0 todo lo comprobado es v\xE1lido; 1 algo no lo es (firma\n"
    "alterada, clave incorrecta, llave de otra solicitud, una llave en lugar de la\n"
    "solicitud); 2 archivo ilegible u opciones incorrectas.\n";

}  // namespace cli
