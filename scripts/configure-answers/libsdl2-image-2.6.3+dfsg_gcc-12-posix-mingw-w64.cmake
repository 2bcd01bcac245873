# The results of the configure checks (see scripts/configure-answers.sh).
set(HAVE_WL_NO_UNDEFINED "1" CACHE INTERNAL "")
