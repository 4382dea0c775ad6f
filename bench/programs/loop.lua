-- A counting loop with a modulo and a branch (32-bit wrap as in the script).
local s = 0
for i = 0, 30000000 - 1 do
  if i % 3 == 0 then
    s = s + i
  else
    s = s - 1
  end
end
s = s & 0xFFFFFFFF
if s >= 0x80000000 then s = s - 0x100000000 end
print(s)
