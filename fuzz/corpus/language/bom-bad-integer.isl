[FrmMP3Editor]
BtnOpenMp3.Caption=%s %1 open
Label1.Left=$
Label1.Top=0x
Label1.Caption=after
