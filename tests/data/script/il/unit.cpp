void UnitProc(int x)
{
}

{
}
