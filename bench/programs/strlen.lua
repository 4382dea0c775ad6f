-- A cheap library call in the inner loop: the length of a 12-byte string.
local text = "hello, world"
local n = 0
for i = 1, 2000000 do n = n + string.len(text) end
print(n)
