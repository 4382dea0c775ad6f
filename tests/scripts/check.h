// Counting checks shared by the self-checking script tests: each failure is
// logged by name, and the script ends by logging "N passed, M failed".
// Include it after tob.h.

int passed;
int failed;

void check(int ok, char *name)
{
    if (ok) passed++;
    else { failed++; log_out("FAILED: %s", name); }
}
