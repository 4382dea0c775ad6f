// Nothing: the start-up and shut-down that every other program pays too.
int main()
{
    return 0;
}
