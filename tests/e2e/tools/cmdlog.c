/* Stands in for the command interpreter (COMSPEC) in the scenarios run under
 * Wine: appends "<current folder>|<arguments>" to commands.log beside
 * itself, one line per run. */
#include <direct.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  char folder[1024];
  char log[MAX_PATH];
  char* slash;
  FILE* file;
  int i;
  DWORD length = GetModuleFileNameA(NULL, log, sizeof log);
  if (length == 0 || length >= sizeof log) return 1;
  slash = strrchr(log, '\\');
  if (slash == NULL ||
      (size_t)(slash - log) + sizeof "\\commands.log" > sizeof log)
    return 1;
  strcpy(slash, "\\commands.log");
  if (_getcwd(folder, sizeof folder) == NULL) return 1;
  file = fopen(log, "ab");
  if (file == NULL) return 1;
  fprintf(file, "%s|", folder);
  for (i = 1; i < argc; ++i) fprintf(file, i > 1 ? " %s" : "%s", argv[i]);
  fputc('\n', file);
  fclose(file);
  return 0;
}
