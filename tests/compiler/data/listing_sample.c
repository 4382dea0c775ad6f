// A small program whose listing is kept as golden data.
#trap
int print(char *text);
int table[4] = {1, , 3};
float scale = 1.5;
int sum(int *p, int n)
{
	int s;
	for (s = 0; n > 0; n--)
		s += *p++;
	return s;
}
int main()
{
	unsigned short w;
	w = 3;
	w += 2;
	print("total\n");
	return sum(table, 4) + (int)(scale * w);
}
