# The results of the configure checks (see scripts/configure-answers.sh).
set(HAVE_FSEEKO "1" CACHE INTERNAL "")
set(HAVE_OFF64_T "TRUE" CACHE INTERNAL "")
set(HAVE_STDDEF_H "1" CACHE INTERNAL "")
set(HAVE_STDINT_H "1" CACHE INTERNAL "")
set(HAVE_SYS_TYPES_H "1" CACHE INTERNAL "")
set(OFF64_T "8" CACHE INTERNAL "")
set(Z_HAVE_UNISTD_H "1" CACHE INTERNAL "")
