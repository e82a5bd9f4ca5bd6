// placeholder until the band designs land
