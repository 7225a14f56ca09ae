// A library that loads but does not export Valida_Campos.
extern "C" int Valida_Otro(const char*, char*) {
    return 1;
}
