-- Every solution of the 8 queens problem, 100 times over.
local column = {}
local solutions = 0

local function free_square(row, c)
  for i = 0, row - 1 do
    local d = column[i] - c
    if not (d ~= 0 and d ~= row - i and d ~= i - row) then return false end
  end
  return true
end

local function place(row)
  if row == 8 then
    solutions = solutions + 1
    return
  end
  for c = 0, 7 do
    if free_square(row, c) then
      column[row] = c
      place(row + 1)
    end
  end
end

for k = 1, 100 do place(0) end
print(solutions)
