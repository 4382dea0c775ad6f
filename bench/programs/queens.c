// Every solution of the 8 queens problem, 100 times over: calls, a global
// array and `&` of comparisons.
#include "../../games/demo/tob.h"

int column[8];
int solutions;

int free_square(int row, int c)
{
    int i, d;
    for (i = 0; i < row; i++) {
        d = column[i] - c;
        if (!((d != 0) & (d != row - i) & (d != i - row))) return 0;
    }
    return 1;
}

void place(int row)
{
    int c;
    if (row == 8) {
        solutions++;
        return;
    }
    for (c = 0; c < 8; c++) {
        if (free_square(row, c)) {
            column[row] = c;
            place(row + 1);
        }
    }
}

int main()
{
    int k;
    for (k = 0; k < 100; k++) place(0);
    log_out("%d", solutions);
    return 0;
}
